find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(platform_Crypto PUBLIC OpenSSL::Crypto)
