# Programs that write the settings store and the voice message's file in a loop, for the tests
# that kill them mid-write.
foreach(helper regstore_crash_helper wavfile_crash_helper)
  add_executable(${helper} ${CMAKE_CURRENT_LIST_DIR}/${helper}.cpp)
  target_link_libraries(${helper} PRIVATE ostrel_platform ostrel_core)
  ostrel_warnings(${helper})
  if(TARGET test_platform)
    add_dependencies(test_platform ${helper})
  endif()
endforeach()
if(TARGET test_platform)
  target_compile_definitions(test_platform PRIVATE
    OSTREL_CRASH_HELPER="$<TARGET_FILE:regstore_crash_helper>"
    OSTREL_WAV_CRASH_HELPER="$<TARGET_FILE:wavfile_crash_helper>")
endif()

# A program that writes journal rows in a loop, for the test that kills it mid-write.
add_executable(journal_crash_helper ${CMAKE_CURRENT_LIST_DIR}/journal_crash_helper.cpp)
target_include_directories(journal_crash_helper PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(journal_crash_helper PRIVATE ostrel_platform)
ostrel_warnings(journal_crash_helper)
if(TARGET test_platform)
  add_dependencies(test_platform journal_crash_helper)
  target_compile_definitions(test_platform PRIVATE
    OSTREL_JOURNAL_CRASH_HELPER="$<TARGET_FILE:journal_crash_helper>")
endif()
