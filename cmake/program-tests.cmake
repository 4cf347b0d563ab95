# The tests of a build's program, the same for the wine build and the
# Windows program: the Win32 suite against the stand-in, the scripts/tvclient
# version check and the end-to-end journey. BUILD is what TVCLIENT_BUILD
# names it ("wine" or "mingw"); SUFFIX tells the two builds' tests apart.
set(TVCLIENT_NATIVE_DIR ${PROJECT_SOURCE_DIR}/build/native CACHE PATH "Folder of the native build (tvservice)")

function(add_program_tests BUILD SUFFIX)
    set(tvservice ${TVCLIENT_NATIVE_DIR}/tvservice)
    set(as_build ${CMAKE_COMMAND} -E env TVCLIENT_BUILD=${BUILD})

    add_test(NAME win32_tests${SUFFIX}
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-standin ${tvservice}
                     ${PROJECT_SOURCE_DIR}/scripts/winerun $<TARGET_FILE:win32_tests>
                     --client=$<TARGET_FILE:tvclient>)
    set_tests_properties(win32_tests${SUFFIX} PROPERTIES TIMEOUT 900)

    add_test(NAME tvclient_script_version${SUFFIX}
             COMMAND ${as_build} ${PROJECT_SOURCE_DIR}/tests/scripts/tvclient_version.sh ${tvservice})
    set_tests_properties(tvclient_script_version${SUFFIX} PROPERTIES TIMEOUT 120)

    # A subscriber's evening, driven from outside with xdotool on its own Xvfb.
    add_test(NAME e2e_journey${SUFFIX}
             COMMAND ${as_build} /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/e2e/journey.py ${tvservice})
    set_tests_properties(e2e_journey${SUFFIX} PROPERTIES TIMEOUT 400)
endfunction()
