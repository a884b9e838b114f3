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
