# The Windows program, tvclient.exe. libvlc is linked through an import
# library made from playback/libvlc.def, which lists exactly the functions the
# program calls; the headers come from Debian's libvlc-dev through a folder
# that holds only a "vlc" link, so /usr/include never enters this build.
include(cmake/client-defs.cmake)
enable_language(RC)
include(cmake/resources.cmake)

set(VLC_INCLUDE_DIR ${CMAKE_BINARY_DIR}/vlc-include)
file(MAKE_DIRECTORY ${VLC_INCLUDE_DIR})
file(CREATE_LINK /usr/include/vlc ${VLC_INCLUDE_DIR}/vlc SYMBOLIC)

# The import is delay-loaded: the program starts without libvlc.dll beside
# it, finds the player library (its own folder, else the VLC installed on
# the machine) and loads it before its first call.
set(LIBVLC_DEF ${PROJECT_SOURCE_DIR}/playback/libvlc.def)
# dlltool names the library's delay-import descriptor after the file it
# writes (__DELAY_IMPORT_DESCRIPTOR_libvlc_delay_a, which the program reads
# to check a libvlc before it uses it): it is written by its bare name.
set(LIBVLC_IMPORT ${CMAKE_BINARY_DIR}/libvlc.delay.a)
add_custom_command(OUTPUT ${LIBVLC_IMPORT}
    COMMAND x86_64-w64-mingw32-dlltool -d ${LIBVLC_DEF} -D libvlc.dll -y libvlc.delay.a
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${LIBVLC_DEF}
    COMMENT "Delay-load import library for libvlc.dll")
add_custom_target(libvlc_import DEPENDS ${LIBVLC_IMPORT})

set(CLIENT_LIBRARIES ${LIBVLC_IMPORT} ws2_32 winhttp comctl32 user32 gdi32 advapi32)
set(CLIENT_LINK_OPTIONS -mwindows -static -static-libgcc -static-libstdc++)

# The program's code, once for the program and its tests.
add_library(tvclient_objects OBJECT ${PORTABLE_SOURCES} ${WIN32_SOURCES})
target_include_directories(tvclient_objects PUBLIC ${PROJECT_SOURCE_DIR} ${VLC_INCLUDE_DIR})
add_dependencies(tvclient_objects libvlc_import)

add_executable(tvclient WIN32 ${CLIENT_MAIN} $<TARGET_OBJECTS:tvclient_objects> ${RESOURCE_FILE})
target_include_directories(tvclient PRIVATE ${PROJECT_SOURCE_DIR} ${VLC_INCLUDE_DIR})
target_link_libraries(tvclient PRIVATE ${CLIENT_LIBRARIES})
target_link_options(tvclient PRIVATE ${CLIENT_LINK_OPTIONS})

# The benchmarks' table fill and relay road, for the Windows program too
# (make bench TVCLIENT_BUILD=mingw).
add_executable(fill_bench ${PROJECT_SOURCE_DIR}/bench/fill_bench.cpp $<TARGET_OBJECTS:tvclient_objects> ${RESOURCE_FILE})
add_executable(relay_bench ${PROJECT_SOURCE_DIR}/bench/relay_bench.cpp $<TARGET_OBJECTS:tvclient_objects>)
foreach(bench fill_bench relay_bench)
    target_include_directories(${bench} PRIVATE ${PROJECT_SOURCE_DIR} ${VLC_INCLUDE_DIR})
    target_link_libraries(${bench} PRIVATE ${CLIENT_LIBRARIES} psapi)
    target_link_options(${bench} PRIVATE -static -static-libgcc -static-libstdc++)
endforeach()

# The .def must name exactly the libvlc functions the objects call.
add_test(NAME libvlc_def_matches_calls
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-libvlc-def ${LIBVLC_DEF}
                 "$<TARGET_OBJECTS:tvclient_objects>" "$<TARGET_OBJECTS:tvclient>")

# Running the Windows program here, under Wine (never part of what users
# get): a Winelib libvlc.dll that forwards to Debian's native libvlc, its
# export table made from the same .def, and the fake module that makes Wine
# load it from beside tvclient.exe.
set(WINE_TOOLS /usr/lib/wine)
set(BRIDGE_DIR ${CMAKE_BINARY_DIR}/bridge)
set(BRIDGE_SPEC ${BRIDGE_DIR}/libvlc.spec)
set(BRIDGE_SOURCE ${PROJECT_SOURCE_DIR}/tools/libvlc-bridge/libvlc_bridge.c)
add_custom_command(OUTPUT ${BRIDGE_SPEC}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BRIDGE_DIR}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/libvlc-bridge/spec-from-def ${LIBVLC_DEF} ${BRIDGE_SPEC}
    DEPENDS ${LIBVLC_DEF} ${PROJECT_SOURCE_DIR}/tools/libvlc-bridge/spec-from-def)
add_custom_command(OUTPUT ${BRIDGE_DIR}/libvlc.dll.so
    COMMAND ${WINE_TOOLS}/winegcc -m64 -shared -Wall -Wextra -o ${BRIDGE_DIR}/libvlc.dll
            ${BRIDGE_SPEC} ${BRIDGE_SOURCE} -lvlc -lpthread
    DEPENDS ${BRIDGE_SPEC} ${BRIDGE_SOURCE}
    COMMENT "libvlc bridge for running tvclient.exe under Wine")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/libvlc.dll
    COMMAND ${WINE_TOOLS}/winebuild -m64 --dll --fake-module -E ${BRIDGE_SPEC} -F libvlc.dll
            -o ${CMAKE_BINARY_DIR}/libvlc.dll
    DEPENDS ${BRIDGE_SPEC})
add_custom_target(libvlc_bridge ALL DEPENDS ${BRIDGE_DIR}/libvlc.dll.so ${CMAKE_BINARY_DIR}/libvlc.dll)

# The Win32 tests, built by MinGW from the same sources, with GoogleTest
# compiled from Debian's sources.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# This MinGW's C++ library has no std::mutex: see tests/win32/gtest_mingw.h.
target_compile_options(gtest PUBLIC -include ${PROJECT_SOURCE_DIR}/tests/win32/gtest_mingw.h)
file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(win32_tests ${WIN32_TEST_SOURCES} $<TARGET_OBJECTS:tvclient_objects> ${RESOURCE_FILE})
target_include_directories(win32_tests PRIVATE ${PROJECT_SOURCE_DIR} ${VLC_INCLUDE_DIR})
target_link_libraries(win32_tests PRIVATE gtest ${CLIENT_LIBRARIES})
target_link_options(win32_tests PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(win32_tests tvclient libvlc_bridge)

include(cmake/program-tests.cmake)
add_program_tests(mingw _windows_program)

# The package for Windows users, written by make dist as a user types it.
add_test(NAME dist_package COMMAND /usr/bin/python3 -m tests.scripts.dist_check ${CMAKE_BINARY_DIR}
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})

# The program as a subscriber gets it, in a Wine prefix of its own: without
# VLC, with VLC registered, and from its installer to its uninstaller.
add_test(NAME windows_install
         COMMAND /usr/bin/python3 -m tests.scripts.windows_install ${CMAKE_BINARY_DIR} ${TVCLIENT_NATIVE_DIR}/tvservice
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
# It installs the installer that make dist wrote in the package test.
set_tests_properties(windows_install PROPERTIES TIMEOUT 400 COST 50 DEPENDS dist_package)
