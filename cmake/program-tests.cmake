# The tests of a build's program, the same for the wine build and the
# Windows program: the Win32 suite against the stand-in (in shards), the
# scripts/tvclient version check and the end-to-end journey. BUILD is what
# TVCLIENT_BUILD names it ("wine" or "mingw"); SUFFIX tells the two builds'
# tests apart. Each runs in a lane of its own (scripts/test-lane: its own X
# display and Wine prefix; with-standin gives the suite its own stand-in),
# so that make test runs them side by side.
set(TVCLIENT_NATIVE_DIR ${PROJECT_SOURCE_DIR}/build/native CACHE PATH "Folder of the native build (tvservice)")
# The Win32 suite mostly waits on the program's own timers: its cases are
# dealt to this many shards (GoogleTest's sharding), which run side by side.
set(TVCLIENT_WIN32_SHARDS 2 CACHE STRING "Shards of each build's Win32 suite")

# A suite of the Win32 tests (a GoogleTest FILTER) in a lane of its own,
# whose settings (the rest of the arguments, NAME=VALUE) give Wine the
# condition the suite is about. Called from add_program_tests, whose
# variables it reads.
function(add_lane_suite NAME LANE FILTER)
    add_test(NAME ${NAME}
             COMMAND ${in_build} TVCLIENT_NULL_SOUND=1 ${ARGN} GTEST_FILTER=${FILTER}
                     ${lane} ${lanes}/${LANE}
                     ${PROJECT_SOURCE_DIR}/scripts/with-standin ${tvservice}
                     --data ${PROJECT_SOURCE_DIR}/tests/win32/service.yaml
                     ${PROJECT_SOURCE_DIR}/scripts/winerun $<TARGET_FILE:win32_tests>
                     --client=$<TARGET_FILE:tvclient>)
    set_tests_properties(${NAME} PROPERTIES TIMEOUT 300 COST 100)
endfunction()

function(add_program_tests BUILD SUFFIX)
    set(tvservice ${TVCLIENT_NATIVE_DIR}/tvservice)
    set(in_build ${CMAKE_COMMAND} -E env TVCLIENT_BUILD=${BUILD} TVCLIENT_BUILD_DIR=${CMAKE_BINARY_DIR})
    set(lane ${PROJECT_SOURCE_DIR}/scripts/test-lane)
    set(lanes ${CMAKE_BINARY_DIR}/lanes)

    math(EXPR last_shard "${TVCLIENT_WIN32_SHARDS} - 1")
    foreach(shard RANGE ${last_shard})
        add_test(NAME win32_tests${SUFFIX}_${shard}
                 COMMAND ${in_build} GTEST_TOTAL_SHARDS=${TVCLIENT_WIN32_SHARDS} GTEST_SHARD_INDEX=${shard} TVCLIENT_NULL_SOUND=1
                         GTEST_FILTER=-Placement.*:Managed.*
                         ${lane} ${lanes}/win32-${shard}
                         ${PROJECT_SOURCE_DIR}/scripts/with-standin ${tvservice}
                         --data ${PROJECT_SOURCE_DIR}/tests/win32/service.yaml
                         ${PROJECT_SOURCE_DIR}/scripts/winerun $<TARGET_FILE:win32_tests>
                         --client=$<TARGET_FILE:tvclient>)
        # The longest first.
        set_tests_properties(win32_tests${SUFFIX}_${shard} PROPERTIES TIMEOUT 900 COST 1000)
    endforeach()

    # The video window's placement on a desktop with a taskbar's band at the
    # top: a lane whose X display gives Wine that work area.
    add_lane_suite(win32_placement${SUFFIX} placement Placement.* "TVCLIENT_WORK_AREA=0, 40, 1280, 760")
    # The fullscreen toggle in a prefix whose windows are left to the window
    # manager, as in a user's own Wine prefix.
    add_lane_suite(win32_managed${SUFFIX} managed Managed.* TVCLIENT_MANAGED=1)
    # The overlays at a desktop's scale: lanes whose Wine prefix is set to
    # 125 % (on a 1366 x 768 screen), 150 % and 200 %.
    foreach(scale "120;1366x768" "144;1280x800" "192;1280x800")
        list(GET scale 0 dpi)
        list(GET scale 1 screen)
        add_lane_suite(win32_scaling_${dpi}${SUFFIX} scaling-${dpi} Scaling* TVCLIENT_DPI=${dpi} TVCLIENT_SCREEN=${screen})
    endforeach()

    add_test(NAME tvclient_script_version${SUFFIX}
             COMMAND ${in_build} ${lane} ${lanes}/version
                     ${PROJECT_SOURCE_DIR}/tests/scripts/tvclient_version.sh ${tvservice})
    set_tests_properties(tvclient_script_version${SUFFIX} PROPERTIES TIMEOUT 120 COST 10)

    # A subscriber's evening, driven from outside with xdotool on its own Xvfb.
    add_test(NAME e2e_journey${SUFFIX}
             COMMAND ${in_build} ${lane} ${lanes}/journey
                     /usr/bin/python3 -m tests.e2e.journey ${tvservice}
             WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
    set_tests_properties(e2e_journey${SUFFIX} PROPERTIES TIMEOUT 400 COST 100)
endfunction()
