# Native build: the portable code and its unit tests, under ASan and UBSan.
find_package(GTest REQUIRED)
include(GoogleTest)

set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${SANITIZE} -g)
add_link_options(${SANITIZE})

add_library(tvportable STATIC ${PORTABLE_SOURCES})
target_include_directories(tvportable PUBLIC ${PROJECT_SOURCE_DIR})

file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${NATIVE_TEST_SOURCES})
target_link_libraries(native_tests PRIVATE tvportable GTest::gtest GTest::gtest_main)
gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)

# The stand-in service.
find_package(yaml-cpp REQUIRED)
find_package(Threads REQUIRED)
add_library(standin STATIC
    standin/protocol.cpp standin/demo_data.cpp standin/guide.cpp
    standin/faults.cpp standin/service.cpp standin/streams.cpp)
target_include_directories(standin PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(standin PUBLIC yaml-cpp Threads::Threads)

add_executable(tvservice standin/tvservice.cpp)
target_link_libraries(tvservice PRIVATE standin)
target_compile_definitions(tvservice PRIVATE TVSERVICE_DEFAULT_DATA="${PROJECT_SOURCE_DIR}/standin/demo.yaml")

file(GLOB STANDIN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/standin/*.cpp)
add_executable(standin_tests ${STANDIN_TEST_SOURCES})
target_link_libraries(standin_tests PRIVATE standin GTest::gtest GTest::gtest_main)
target_compile_definitions(standin_tests PRIVATE
    TVSERVICE_PROGRAM="$<TARGET_FILE:tvservice>"
    DEMO_DATA="${PROJECT_SOURCE_DIR}/standin/demo.yaml")
add_dependencies(standin_tests tvservice)
gtest_discover_tests(standin_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
