# Alphabets and the PDU decoder.
telvane_add_gtest(codec_alphabet_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/AlphabetTest.cpp
    LIBS telvane_codec)
telvane_add_gtest(codec_decode_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/DecodeTest.cpp
    LIBS telvane_codec)
