target_link_libraries(platform_Taskbar PUBLIC ole32 uuid)
