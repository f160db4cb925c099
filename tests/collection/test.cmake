find_package(ZLIB REQUIRED)  # the hostile archives' deflate streams
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(${test_target} PRIVATE quillon_collection ZLIB::ZLIB nlohmann_json::nlohmann_json)
