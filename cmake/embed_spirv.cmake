# Turns one SPIR-V module into a C++ header holding it as 32-bit words:
#   cmake -DINPUT=x.spv -DOUTPUT=x.spv.h -DNAME=x -P embed_spirv.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" length)
math(EXPR remainder "${length} % 8")
if(NOT remainder EQUAL 0)
  message(FATAL_ERROR "${INPUT} is not a whole number of 32-bit words")
endif()
# Each word is stored little-endian: reverse the four bytes of every 8 hex digits.
string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1u," words "${bytes}")
string(REGEX REPLACE "((0x[0-9a-f]+u,){8})" "\\1\n    " words "${words}")
file(WRITE "${OUTPUT}"
  "// Generated from ${NAME}'s GLSL source at build time. Do not edit.\n"
  "inline constexpr uint32_t ${NAME}_words[] = {\n    ${words}\n};\n"
  "inline constexpr ShaderCode ${NAME}{${NAME}_words, sizeof(${NAME}_words)};\n")
