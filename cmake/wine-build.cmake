# Winelib build: the client and its Win32 tests, run here under Wine.
include(cmake/client-defs.cmake)

# wrc takes -o, not rc.exe's /fo; winegcc links the .res it writes.
enable_language(RC)
set(CMAKE_RC_COMPILE_OBJECT "<CMAKE_RC_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -o <OBJECT> <SOURCE>")
set(CMAKE_RC_OUTPUT_EXTENSION .res)
include(cmake/resources.cmake)

add_library(tvclient_core STATIC ${PORTABLE_SOURCES} ${WIN32_SOURCES})
target_include_directories(tvclient_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tvclient_core PUBLIC ws2_32 winhttp comctl32 user32 gdi32 advapi32 vlc)

# wineg++ -o name.exe writes the launcher name.exe and the program name.exe.so.
add_executable(tvclient WIN32 ${CLIENT_MAIN} ${RESOURCE_FILE})
set_target_properties(tvclient PROPERTIES SUFFIX ".exe")
target_link_libraries(tvclient PRIVATE tvclient_core)
target_link_options(tvclient PRIVATE -mwindows)

file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win32/*.cpp)
add_executable(win32_tests ${WIN32_TEST_SOURCES} ${RESOURCE_FILE})
set_target_properties(win32_tests PROPERTIES SUFFIX ".exe")
target_link_libraries(win32_tests PRIVATE tvclient_core gtest pthread)
add_dependencies(win32_tests tvclient)

# Against the stand-in from the native build.
include(cmake/program-tests.cmake)
add_program_tests(wine "")

# The benchmarks' timing of the channel table fill (make bench).
add_executable(fill_bench ${PROJECT_SOURCE_DIR}/bench/fill_bench.cpp ${RESOURCE_FILE})
set_target_properties(fill_bench PROPERTIES SUFFIX ".exe")
target_link_libraries(fill_bench PRIVATE tvclient_core)

# The relay's own road, without the player (make bench).
add_executable(relay_bench ${PROJECT_SOURCE_DIR}/bench/relay_bench.cpp)
set_target_properties(relay_bench PROPERTIES SUFFIX ".exe")
target_link_libraries(relay_bench PRIVATE tvclient_core psapi)

# The Debian package (make deb): lintian, then installed, started from the
# PATH by a user other than root, and removed (as root; skipped otherwise).
add_test(NAME deb_install
         COMMAND /usr/bin/python3 -m tests.scripts.deb_install ${CMAKE_BINARY_DIR} ${TVCLIENT_NATIVE_DIR}/tvservice
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(deb_install PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 COST 50)
