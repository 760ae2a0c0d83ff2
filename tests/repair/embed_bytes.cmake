# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=symbol -P embed_bytes.cmake
# Makes a file's bytes part of a test program, so that the same fixture works
# natively and under Wine without a path that both can see.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
get_filename_component(from "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// Generated from ${from}.
#include <stddef.h>
extern const unsigned char ${NAME}[] = {
${bytes}
};
extern const size_t ${NAME}Size = sizeof ${NAME};
")
