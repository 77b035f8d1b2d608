find_package(Qt6 REQUIRED COMPONENTS Widgets)
target_link_libraries(platform_Toolkit PUBLIC Qt6::Widgets)
set_target_properties(platform_Toolkit PROPERTIES AUTOMOC ON)

# Nothing to embed on Linux; the target exists so that executables link it on both targets.
add_library(orvelle_common_controls_manifest INTERFACE)
