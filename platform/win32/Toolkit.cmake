target_link_libraries(platform_Toolkit PUBLIC comctl32 uxtheme ole32 oleaut32 user32 gdi32
                                              shlwapi)

# The manifest that selects the themed common controls (version 6). An executable gets it by
# linking orvelle_common_controls_manifest (an object library: the resource must reach the
# executable itself). The variable names the .rc for targets that embed it themselves.
set(ORVELLE_COMMON_CONTROLS_RC ${CMAKE_CURRENT_LIST_DIR}/CommonControls.rc
    CACHE INTERNAL "Resource script with the common-controls version 6 manifest")
add_library(orvelle_common_controls_manifest OBJECT ${ORVELLE_COMMON_CONTROLS_RC})
set_source_files_properties(${ORVELLE_COMMON_CONTROLS_RC} PROPERTIES OBJECT_DEPENDS
                            ${CMAKE_CURRENT_LIST_DIR}/CommonControls.manifest)
