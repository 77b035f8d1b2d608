target_link_libraries(platform_Toolkit PUBLIC comctl32 uxtheme ole32 oleaut32 user32 gdi32)
