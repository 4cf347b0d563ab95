# Native build: the portable code and its unit tests, under ASan and UBSan.
find_package(GTest REQUIRED)
include(GoogleTest)

# The benchmarks build the stand-in without them (TVCLIENT_SANITIZE=OFF).
option(TVCLIENT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(TVCLIENT_SANITIZE)
    set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${SANITIZE} -g)
    add_link_options(${SANITIZE})
endif()

add_library(tvportable STATIC ${PORTABLE_SOURCES})
target_include_directories(tvportable PUBLIC ${PROJECT_SOURCE_DIR})

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${NATIVE_TEST_SOURCES})
target_link_libraries(native_tests PRIVATE tvportable GTest::gtest GTest::gtest_main)
# The key test reads the documents that list the keys.
target_compile_definitions(native_tests PRIVATE TVCLIENT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)

# The layer check over the includes (scripts/check-layers) catches each offence.
add_test(NAME check_layers COMMAND /usr/bin/python3 -m tests.scripts.check_layers_test
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
# The project's Python passes its lint (.flake8): the test drivers and their
# library, the benchmarks and the scripts.
add_test(NAME python_lint
         COMMAND flake8 tests bench tools scripts/check-layers scripts/dist scripts/deb scripts/package_rules.py
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})

# The stand-in service.
find_package(yaml-cpp REQUIRED)
find_package(Threads REQUIRED)
add_library(standin STATIC
    standin/protocol.cpp standin/demo_data.cpp standin/guide.cpp
    standin/faults.cpp standin/hls.cpp standin/server.cpp standin/service.cpp standin/streams.cpp
    standin/line_model.cpp)
target_include_directories(standin PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(standin PUBLIC yaml-cpp Threads::Threads)

add_executable(tvservice standin/tvservice.cpp)
target_link_libraries(tvservice PRIVATE standin)
# The benchmarks' home line in front of it.
add_executable(line_model standin/line_main.cpp)
target_link_libraries(line_model PRIVATE standin)
target_compile_definitions(standin PUBLIC TVSERVICE_DEFAULT_DATA="${PROJECT_SOURCE_DIR}/standin/demo.yaml")

# The benchmarks' baseline: a plain libvlc player (make bench).
find_package(X11 REQUIRED)
add_executable(vlc_baseline bench/baseline.cpp)
target_include_directories(vlc_baseline PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(vlc_baseline PRIVATE vlc X11::X11 Threads::Threads)
add_executable(pixel_watch bench/pixel_watch.cpp)
target_include_directories(pixel_watch PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(pixel_watch PRIVATE X11::X11)

file(GLOB STANDIN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/standin/*.cpp)
add_executable(standin_tests ${STANDIN_TEST_SOURCES})
target_link_libraries(standin_tests PRIVATE standin GTest::gtest GTest::gtest_main)
target_compile_definitions(standin_tests PRIVATE
    TVSERVICE_PROGRAM="$<TARGET_FILE:tvservice>"
    DEMO_DATA="${PROJECT_SOURCE_DIR}/standin/demo.yaml")
add_dependencies(standin_tests tvservice)
gtest_discover_tests(standin_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

# Fuzz targets over every reader of the network's bytes. The native build
# replays their committed corpora under the sanitizers; `make fuzz` builds
# them with clang's libFuzzer (TVCLIENT_FUZZ) and explores for a set time.
option(TVCLIENT_FUZZ "Build the fuzz targets with libFuzzer (clang)" OFF)
set(FUZZ_TARGETS login_walk keepsession tables receive format relay)
if(TVCLIENT_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
# libFuzzer runs with the same sanitizers as the native build.
foreach(target ${FUZZ_TARGETS})
    if(TVCLIENT_FUZZ)
        add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp tests/fuzz/fuzz_common.cpp)
        target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(fuzz_${target} PRIVATE tvportable)
    else()
        add_executable(replay_${target} tests/fuzz/fuzz_${target}.cpp tests/fuzz/fuzz_common.cpp
                       tests/fuzz/replay_main.cpp)
        target_link_libraries(replay_${target} PRIVATE tvportable)
        add_test(NAME fuzz_corpus_${target}
                 COMMAND replay_${target} ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${target})
    endif()
endforeach()
