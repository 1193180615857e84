# Every library comes from Debian; scripts/install-deps.sh installs them.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto SSL)
find_package(ZLIB REQUIRED)
if(BUILD_TESTING)
  find_package(GTest REQUIRED)
endif()
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
pkg_check_modules(LOG4CPLUS REQUIRED IMPORTED_TARGET log4cplus)

# mbed TLS 2.28 ships no pkg-config file on Debian 12.
find_path(MBEDTLS_INCLUDE_DIR mbedtls/des.h REQUIRED)
find_library(MBEDCRYPTO_LIBRARY mbedcrypto REQUIRED)
add_library(mbedcrypto_lib INTERFACE)
target_include_directories(mbedcrypto_lib INTERFACE ${MBEDTLS_INCLUDE_DIR})
target_link_libraries(mbedcrypto_lib INTERFACE ${MBEDCRYPTO_LIBRARY})

# UDT 4 (libudt-dev) ships neither a pkg-config file nor a CMake package.
find_path(UDT_INCLUDE_DIR udt/udt.h REQUIRED)
find_library(UDT_LIBRARY udt REQUIRED)
add_library(udt_lib INTERFACE)
target_include_directories(udt_lib INTERFACE ${UDT_INCLUDE_DIR})
target_link_libraries(udt_lib INTERFACE ${UDT_LIBRARY} Threads::Threads)

# The live stream: H.264 decoding, scaling and MP4 writing; camera audio.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavformat libavutil libswscale)
pkg_check_modules(FAAD2 REQUIRED IMPORTED_TARGET faad2)
pkg_check_modules(SPEEX REQUIRED IMPORTED_TARGET speex)
