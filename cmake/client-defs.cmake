# Compile-time configuration of the client, shared by the wine and mingw builds.
add_compile_definitions(
    TVCLIENT_DEFAULT_SERVICE="${TVCLIENT_SERVICE_HOST}"
    TVCLIENT_DOWNLOAD_SITE="${TVCLIENT_DOWNLOAD_SITE}"
    UNICODE _UNICODE _WIN32_WINNT=0x0601
)
