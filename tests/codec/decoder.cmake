# Alphabets and the PDU decoder.
telvane_add_gtest(codec_alphabet_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/AlphabetTest.cpp
    LIBS telvane_codec)
telvane_add_gtest(codec_decode_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/DecodeTest.cpp
    LIBS telvane_codec)

# The tool's command line, and gammu (python3-gammu) as an independent codec both ways: it
# decodes the same captures, and decodes what we encode (skipped, exit 77, without it).
add_test(NAME codec_cli
    COMMAND ${TELVANE_DEBIAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/cli_test.py $<TARGET_FILE:telvane-pdu>)
add_test(NAME codec_decode_vs_gammu
    COMMAND ${TELVANE_DEBIAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/gammu_oracle.py decode
            $<TARGET_FILE:telvane-pdu> ${TELVANE_TEST_DATA}/pdu/decode-cases.tsv)
add_test(NAME codec_encode_gammu_oracle
    COMMAND ${TELVANE_DEBIAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/gammu_oracle.py encode
            $<TARGET_FILE:telvane-pdu>)
set_tests_properties(codec_cli codec_encode_gammu_oracle PROPERTIES TIMEOUT 120)
set_tests_properties(codec_decode_vs_gammu codec_encode_gammu_oracle
    PROPERTIES SKIP_RETURN_CODE 77)

# libFuzzer target for the decoder. The main build uses g++, so clang++ is invoked directly on
# the few codec sources the decoder needs.
find_program(TELVANE_CLANGXX NAMES clang++ clang++-14)
if(TELVANE_CLANGXX)
    set(_fuzz_sources
        ${CMAKE_CURRENT_LIST_DIR}/fuzz_decode.cpp
        ${CMAKE_SOURCE_DIR}/src/codec/Alphabets.cpp
        ${CMAKE_SOURCE_DIR}/src/codec/Hex.cpp
        ${CMAKE_SOURCE_DIR}/src/codec/PduDecoder.cpp
        ${CMAKE_SOURCE_DIR}/src/codec/MessageRecord.cpp)
    set(_fuzz_binary ${CMAKE_CURRENT_BINARY_DIR}/fuzz_decode)
    add_custom_command(OUTPUT ${_fuzz_binary}
        COMMAND ${TELVANE_CLANGXX} -std=c++20 -g -O1
                -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
                -I${CMAKE_SOURCE_DIR}/src ${_fuzz_sources} -o ${_fuzz_binary}
        DEPENDS ${_fuzz_sources}
            ${CMAKE_SOURCE_DIR}/src/codec/Alphabets.h ${CMAKE_SOURCE_DIR}/src/codec/Hex.h
            ${CMAKE_SOURCE_DIR}/src/codec/PduDecoder.h ${CMAKE_SOURCE_DIR}/src/codec/MessageRecord.h
        COMMENT "Building the decoder fuzz target with clang++"
        VERBATIM)
    add_custom_target(codec_fuzz_decode ALL DEPENDS ${_fuzz_binary})

    # Seed corpus: every captured PDU as hex text.
    set(_seeds ${CMAKE_CURRENT_BINARY_DIR}/fuzz_decode_seeds)
    file(REMOVE_RECURSE ${_seeds})
    file(MAKE_DIRECTORY ${_seeds} ${CMAKE_CURRENT_BINARY_DIR}/fuzz_decode_corpus)
    file(STRINGS ${TELVANE_TEST_DATA}/pdu/decode-cases.tsv _rows ENCODING UTF-8 REGEX "^[^#]")
    foreach(_row IN LISTS _rows)
        string(REPLACE "\t" ";" _fields "${_row}")
        list(GET _fields 0 _name)
        list(GET _fields 2 _hex)
        file(WRITE ${_seeds}/${_name} "${_hex}")
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${TELVANE_TEST_DATA}/pdu/decode-cases.tsv)

    add_test(NAME codec_fuzz_decode
        COMMAND ${_fuzz_binary} -max_total_time=20 -print_final_stats=1
                -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/fuzz_decode-
                ${CMAKE_CURRENT_BINARY_DIR}/fuzz_decode_corpus ${_seeds})
    set_tests_properties(codec_fuzz_decode PROPERTIES TIMEOUT 120)
else()
    message(STATUS "clang++ not found: the decoder fuzz target is not built")
endif()
