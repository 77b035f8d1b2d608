# The settings window TForm2, built on the widgets seam only.
add_library(orvelle_settings_window STATIC ${CMAKE_CURRENT_LIST_DIR}/Unit2.cpp)
target_link_libraries(orvelle_settings_window PUBLIC orvelle_headers orvelle_common
                                                     orvelle_settings_values)
