target_link_libraries(platform_Http PUBLIC winhttp wininet crypt32 ws2_32)
