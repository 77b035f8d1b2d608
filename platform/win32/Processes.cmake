# ShellExecuteExW for the elevated start.
target_link_libraries(platform_Processes PUBLIC shell32)
