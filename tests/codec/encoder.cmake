# SMS-SUBMIT encoder and transliteration.
telvane_add_gtest(codec_encode_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/EncodeTest.cpp
    LIBS telvane_codec)
telvane_add_gtest(codec_translit_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/TranslitTest.cpp
    LIBS telvane_codec)

telvane_add_gtest(codec_encode_roundtrip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/EncodeRoundTripTest.cpp LIBS telvane_codec)

# The command line, and gammu as an independent decoder of what it encodes (skipped, exit 77,
# when python3-gammu is missing).
add_test(NAME codec_encode_cli
    COMMAND ${TELVANE_DEBIAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/EncodeCliTest.py
            $<TARGET_FILE:telvane-pdu>)
add_test(NAME codec_encode_gammu_oracle
    COMMAND ${TELVANE_DEBIAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/EncodeGammuOracle.py
            $<TARGET_FILE:telvane-pdu>)
set_tests_properties(codec_encode_cli codec_encode_gammu_oracle PROPERTIES TIMEOUT 120)
set_tests_properties(codec_encode_gammu_oracle PROPERTIES SKIP_RETURN_CODE 77)
