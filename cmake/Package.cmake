# What an installation holds besides the programs' own install rules (manual pages, the
# external encoder wrapper), and the Debian package that `make package` builds with CPack:
# build/orva_<version>_<arch>.deb, installing under /usr.
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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "ORVA maintainers <maintainers@users.noreply.c-seed-7913001f.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "peak-normalize WAV files in a batch")
# The long description; CPack puts the summary in front and indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "ORVA collects WAV files in a list and scales every sample so that each
file's peak (or one common peak over all files) lands on full scale,
keeping every other RIFF chunk. It can convert the sample rate first,
encode each result to MP3, set sources aside or delete them, announce
finished files over SSTP and play a file for preview.

The package holds the desktop program orva and the command-line front
end orva-cli.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: the shared libraries the programs link (dpkg-shlibdeps), and what they run:
# lame for tools/scmpx-lame, the GStreamer plugins for playback, the IPA font for Japanese.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "lame, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-ipafont-gothic")
# The standard buttons' Japanese texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
