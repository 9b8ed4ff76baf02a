include(${CMAKE_CURRENT_LIST_DIR}/DorvexStandIn.cmake)
dorvex_stand_in(nlohmann_json nlohmann_json::nlohmann_json)
