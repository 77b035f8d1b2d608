find_package(Qt6 REQUIRED COMPONENTS DBus)
target_link_libraries(platform_Taskbar PUBLIC Qt6::DBus platform_Toolkit)
