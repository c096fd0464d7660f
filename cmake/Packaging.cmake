# `cpack` in a configured build folder makes a Debian package and a tarball of what `install`
# puts in place: the programs and their manual pages, the library with its header and CMake
# package.
set(CPACK_PACKAGE_NAME zelvar)
set(CPACK_PACKAGE_VENDOR "The Zelvar developers")
set(CPACK_PACKAGE_CONTACT "The Zelvar developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "optimal solver for the fifteen puzzle")
set(CPACK_PACKAGE_DESCRIPTION
  "Reads a fifteen-puzzle position and prints a shortest solution, found by an\n iterative-deepening search over two pattern databases built at every run.\n zelvar-batch solves files of positions into JSON or CSV records, on every\n core, with resumable runs and shards for clusters. The library libzelvar.a,\n its header zelvar/zelvar.h and its CMake package let other programs solve\n positions.")
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The dependencies come from the shared libraries the program links (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
