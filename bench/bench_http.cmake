# Peers for bench_http: libcurl fetching the same URLs, pugixml parsing the body.
find_package(CURL REQUIRED)
find_package(pugixml REQUIRED)
target_link_libraries(${name} PRIVATE CURL::libcurl pugixml::pugixml)
target_compile_definitions(${name} PRIVATE TARVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
