# ostrel_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [SERIAL] [NO_WIDGETS])
# One test binary per library, its cases discovered by CTest. NO_WIDGETS: the binary does not
# link Qt Widgets at all (its Qt application is a core one).
function(ostrel_test name)
  cmake_parse_arguments(T "SERIAL;NO_WIDGETS" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set(support ostrel_test_support)
  if(T_NO_WIDGETS)
    set(support ostrel_test_support_core)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${support} GTest::gtest GTest::gmock
                        GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  ostrel_warnings(${name})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  set(serial FALSE)
  if(T_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" RUN_SERIAL ${serial} TIMEOUT 300
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;OSTREL_BUILD_DIR=${PROJECT_BINARY_DIR};OSTREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# ostrel_folder_tests(NAME LIBS ...): one binary of every *_test.cpp in the current folder.
function(ostrel_folder_tests name)
  cmake_parse_arguments(F "SERIAL;NO_WIDGETS" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*Fake*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*Support*.cpp)
  set(flags "")
  if(F_SERIAL)
    list(APPEND flags SERIAL)
  endif()
  if(F_NO_WIDGETS)
    list(APPEND flags NO_WIDGETS)
  endif()
  if(sources)
    ostrel_test(${name} SOURCES ${sources} LIBS ${F_LIBS} LABELS ${F_LABELS} ${flags})
  endif()
endfunction()
