# The .rc file names its pictures; rebuild it when one changes.
set_source_files_properties(${PROJECT_SOURCE_DIR}/${RESOURCE_FILE} PROPERTIES OBJECT_DEPENDS
    "${PROJECT_SOURCE_DIR}/resources/resource.h;${PROJECT_SOURCE_DIR}/resources/tvclient.manifest;${CMAKE_BINARY_DIR}/generated/version.h;${PROJECT_SOURCE_DIR}/resources/toolbar.bmp;${PROJECT_SOURCE_DIR}/resources/exit.bmp;${PROJECT_SOURCE_DIR}/resources/tvclient.ico")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${PROJECT_SOURCE_DIR}/resources -I${CMAKE_BINARY_DIR}/generated")
