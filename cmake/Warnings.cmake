# Warnings are errors where the project asks for it (its presets and CI); a packager's build with
# another compiler or optimisation level must not fail on a new, possibly false, warning.
option(OSTREL_WERROR "Treat compiler warnings as errors" OFF)

function(ostrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(OSTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# ostrel_library(NAME LIBS ...): the logic library of the current folder. Its sources are the
# folder's .cpp files, except widget files (*Window.cpp, *Widget.cpp), which go to
# NAME_widgets when there are any. Several developers add files to a folder at once, so the
# lists are read from the folder rather than kept by hand.
function(ostrel_library name)
  cmake_parse_arguments(L "" "" "LIBS;WIDGET_LIBS" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(logic_sources "")
  set(widget_sources "")
  foreach(src ${all_sources})
    get_filename_component(base ${src} NAME)
    if(base MATCHES "(Window|Widget)\\.cpp$")
      list(APPEND widget_sources ${src})
    else()
      list(APPEND logic_sources ${src})
    endif()
  endforeach()
  if(NOT logic_sources)
    # A folder whose first files have not landed yet.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${L_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${logic_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
  ostrel_warnings(${name})
  if(widget_sources)
    add_library(${name}_widgets STATIC ${widget_sources})
    target_include_directories(${name}_widgets PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name}_widgets PUBLIC ${name} Qt6::Widgets ${L_WIDGET_LIBS})
    ostrel_warnings(${name}_widgets)
  endif()
endfunction()
