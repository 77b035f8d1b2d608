add_library(orvelle_fake_progress_display STATIC
            ${CMAKE_CURRENT_LIST_DIR}/FakeProgressDisplay.cpp)
target_link_libraries(orvelle_fake_progress_display PUBLIC orvelle_headers orvelle_common)
