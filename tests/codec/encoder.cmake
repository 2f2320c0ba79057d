# SMS-SUBMIT encoder and transliteration.
telvane_add_gtest(codec_encode_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/EncodeTest.cpp
    LIBS telvane_codec)
