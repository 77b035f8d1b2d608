find_package(OpenSSL REQUIRED COMPONENTS SSL)
target_link_libraries(platform_Tls PUBLIC OpenSSL::SSL)
