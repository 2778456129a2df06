# What an installation holds besides the programs' own install rules: manual pages, the
# external encoder wrapper and the bash completion. The Debian package is built from
# debian/ (`make package`).
include(GNUInstallDirs)

# The external encoder wrapper sits in the programs' private folder beside libgogo.so.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/scmpx-lame DESTINATION lib/orva/tools)

# Manual pages, compressed as Debian keeps them: English in man1, Japanese in ja/man1.
# orva-cli-batch shares orva-cli's page. The Japanese pages are built under man/ja/man1 so
# that man-db, which takes a page's language from its path, lays them out with groff's
# Japanese line breaking when the tests render them, as it does once installed.
set(ORVA_MAN_PAGES orva-cli)
if(TARGET orva)
  list(APPEND ORVA_MAN_PAGES orva)
endif()
set(ORVA_MAN_OUTPUTS)
foreach(language IN ITEMS en ja)
  if(language STREQUAL "en")
    set(source_dir ${PROJECT_SOURCE_DIR}/man)
    set(build_dir ${CMAKE_BINARY_DIR}/man)
    set(install_dir ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    set(source_dir ${PROJECT_SOURCE_DIR}/man/${language})
    set(build_dir ${CMAKE_BINARY_DIR}/man/${language}/man1)
    set(install_dir ${CMAKE_INSTALL_MANDIR}/${language}/man1)
  endif()
  set(outputs)
  foreach(page IN LISTS ORVA_MAN_PAGES)
    configure_file(${source_dir}/${page}.1.in ${build_dir}/${page}.1 @ONLY)
    add_custom_command(
      OUTPUT ${build_dir}/${page}.1.gz
      COMMAND gzip -9n -c ${page}.1 > ${page}.1.gz
      DEPENDS ${build_dir}/${page}.1
      WORKING_DIRECTORY ${build_dir}
      VERBATIM)
    list(APPEND outputs ${build_dir}/${page}.1.gz)
  endforeach()
  file(CREATE_LINK orva-cli.1.gz ${build_dir}/orva-cli-batch.1.gz SYMBOLIC)
  install(FILES ${outputs} ${build_dir}/orva-cli-batch.1.gz DESTINATION ${install_dir})
  list(APPEND ORVA_MAN_OUTPUTS ${outputs})
endforeach()
add_custom_target(orva_man_pages ALL DEPENDS ${ORVA_MAN_OUTPUTS})

# Completion of orva-cli's commands, options and WAV files in bash.
install(FILES ${PROJECT_SOURCE_DIR}/cli/orva-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME orva-cli)
