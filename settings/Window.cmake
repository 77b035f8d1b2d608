# The settings window TForm2, built on the widgets seam only.
add_library(orvelle_settings_window STATIC ${window_sources})
target_link_libraries(orvelle_settings_window PUBLIC orvelle_headers orvelle_common
                                                     orvelle_settings_values)
