# RegGetValueW, RegCreateKeyExW, RegSetValueExW.
target_link_libraries(platform_UserState PUBLIC advapi32)
