include(${CMAKE_CURRENT_LIST_DIR}/DorvexStandIn.cmake)
dorvex_stand_in(ICU ICU::uc ICU::i18n)
