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

set(LIBVLC_DEF ${PROJECT_SOURCE_DIR}/playback/libvlc.def)
set(LIBVLC_IMPORT ${CMAKE_BINARY_DIR}/libvlc.dll.a)
add_custom_command(OUTPUT ${LIBVLC_IMPORT}
    COMMAND x86_64-w64-mingw32-dlltool -d ${LIBVLC_DEF} -D libvlc.dll -l ${LIBVLC_IMPORT}
    DEPENDS ${LIBVLC_DEF}
    COMMENT "Import library for libvlc.dll")
add_custom_target(libvlc_import DEPENDS ${LIBVLC_IMPORT})

add_executable(tvclient WIN32 ${CLIENT_MAIN} ${PORTABLE_SOURCES} ${WIN32_SOURCES} ${RESOURCE_FILE})
target_include_directories(tvclient PRIVATE ${PROJECT_SOURCE_DIR} ${VLC_INCLUDE_DIR})
add_dependencies(tvclient libvlc_import)
target_link_libraries(tvclient PRIVATE ${LIBVLC_IMPORT} ws2_32 winhttp comctl32 user32 gdi32 advapi32)
target_link_options(tvclient PRIVATE -mwindows -static -static-libgcc -static-libstdc++)

# The .def must name exactly the libvlc functions the objects call.
add_test(NAME libvlc_def_matches_calls
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-libvlc-def ${LIBVLC_DEF}
                 $<TARGET_OBJECTS:tvclient>)
