find_package(PkgConfig REQUIRED)
pkg_check_modules(ORVELLE_CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(ORVELLE_LIBPROXY REQUIRED IMPORTED_TARGET libproxy-1.0)
target_link_libraries(platform_Http PUBLIC PkgConfig::ORVELLE_CURL PkgConfig::ORVELLE_LIBPROXY)
