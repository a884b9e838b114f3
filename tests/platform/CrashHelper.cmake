# A program that saves the settings store in a loop, for the test that kills it mid-save.
add_executable(regstore_crash_helper ${CMAKE_CURRENT_LIST_DIR}/regstore_crash_helper.cpp)
target_link_libraries(regstore_crash_helper PRIVATE ostrel_platform ostrel_core)
ostrel_warnings(regstore_crash_helper)
if(TARGET test_platform)
  add_dependencies(test_platform regstore_crash_helper)
  target_compile_definitions(test_platform PRIVATE
    OSTREL_CRASH_HELPER="$<TARGET_FILE:regstore_crash_helper>")
endif()
