# What `cmake --install` puts where, by the GNU directory conventions: the program and panel-sim,
# the help pages, the licence texts, the desktop entry, the icons, the AppStream metadata and the
# manual pages.
include(GNUInstallDirs)

set(OSTREL_PACKAGE_NAME ostrel-stream)
set(OSTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${OSTREL_PACKAGE_NAME})
set(packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS ostrel-stream panel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(EXISTS ${PROJECT_SOURCE_DIR}/docs/help)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/help/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/${OSTREL_PACKAGE_NAME}/help)
endif()

install(FILES ${packaging}/ostrel-stream.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/io.github.ostrel.OstrelStream.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/icons/ostrel-stream.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The PNG sizes are drawn from the SVG at build time, when rsvg-convert is there.
find_program(OSTREL_RSVG rsvg-convert)
set(icon_pngs "")
if(OSTREL_RSVG)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/ostrel-stream.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${OSTREL_RSVG} -w ${size} -h ${size} ${packaging}/icons/ostrel-stream.svg -o ${png}
      DEPENDS ${packaging}/icons/ostrel-stream.svg VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(STATUS "rsvg-convert not found: only the scalable icon is installed")
endif()

# Manual pages and the changelog go in compressed, as Debian's policy asks; -n keeps the
# archive free of a time stamp so that two builds give the same bytes.
find_program(OSTREL_GZIP gzip REQUIRED)
set(compressed "")
foreach(page ostrel-stream.1 panel-sim.1)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${OSTREL_GZIP} -9n -c ${packaging}/man/${page} > ${out}
    DEPENDS ${packaging}/man/${page} VERBATIM)
  list(APPEND compressed ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${OSTREL_GZIP} -9n -c ${packaging}/changelog > ${changelog}
  DEPENDS ${packaging}/changelog VERBATIM)
list(APPEND compressed ${changelog})
add_custom_target(ostrel_install_files ALL DEPENDS ${icon_pngs} ${compressed})

install(FILES ${changelog} ${packaging}/copyright DESTINATION ${OSTREL_DOC_DIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/resources/licences)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/licences/ DESTINATION ${OSTREL_DOC_DIR}/licences)
endif()
