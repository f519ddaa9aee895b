# The Debian package, made by CPack from this build (cpack -G DEB in the
# build folder): slidecut_<version>_<arch>.deb with the binary, the man page
# compressed as Debian keeps man pages, the copyright file in Debian's
# machine-readable format and a changelog. Its dependencies come from the
# binary through dpkg-shlibdeps. libavcodec and libavutil, which the binary
# loads only when a slide needs a new start, are Recommends, not Depends:
# without them slidecut still cuts every slide, and those cut between
# keyframes start as cut, with a warning; apt installs Recommends unless
# told not to, so a plain install gets new starts.

set(SLIDECUT_MAINTAINER "slidecut developers <maintainers@users.noreply.c-seed-2729c7d1.example>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME slidecut)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SLIDECUT_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut an FLV recording into slides at the times of a cue file")
# CPack puts the summary first and indents these lines behind it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "slidecut cuts an FLV recording, such as a lecture or a talk straight off a
streaming server, into consecutive pieces at the times listed in a cue
file. Each piece becomes an FLV file of its own with its timestamps
re-based to zero and an onMetaData of its own; optionally its audio goes
to an audio file of its own. A piece cut between keyframes starts on a
keyframe of its own, its first frames encoded again with libavcodec.")
if(LIBAV_FOUND)
  string(REGEX MATCH "^[0-9]+" avcodec_major "${LIBAV_libavcodec_VERSION}")
  string(REGEX MATCH "^[0-9]+" avutil_major "${LIBAV_libavutil_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libavcodec${avcodec_major}, libavutil${avutil_major}")
endif()

# Debian's documentation files: the copyright file as it stands, the
# changelog and the man page compressed with gzip -9n (no name, no time).
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_BINARY_DIR}/debian/changelog
     "slidecut (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Built from slidecut's own sources with CPack.\n\n"
     " -- ${SLIDECUT_MAINTAINER}  ${changelog_date}\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz ${CMAKE_BINARY_DIR}/slidecut.1.gz
                   COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
                   COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/doc/slidecut.1 > ${CMAKE_BINARY_DIR}/slidecut.1.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/doc/slidecut.1 ${CMAKE_BINARY_DIR}/debian/changelog)
add_custom_target(compressed_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz ${CMAKE_BINARY_DIR}/slidecut.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/slidecut.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES cmake/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
include(CPack)
