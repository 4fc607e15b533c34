# What tools/package puts beside the two programs, in package/ of the build: the users' README.txt
# (Windows line ends, with the version) and the package's name, both from project()'s VERSION.
set(VELQUIST_PACKAGE_NAME velquist-${PROJECT_VERSION}-windows)
configure_file(${CMAKE_SOURCE_DIR}/resources/README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt
               @ONLY NEWLINE_STYLE CRLF)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/name CONTENT "${VELQUIST_PACKAGE_NAME}\n")
