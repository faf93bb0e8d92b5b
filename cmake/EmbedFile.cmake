# Writes a C++ source holding a file's bytes behind a function:
#   cmake -DINPUT=<file> -DOUTPUT=<source> -DFUNCTION=<name> -DHEADER=<include> -P EmbedFile.cmake
file(READ ${INPUT} bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
file(WRITE ${OUTPUT} "#include \"${HEADER}\"\n\nnamespace {\nconst char kBytes[] = {${bytes}};\n}\n\n"
     "std::string_view ${FUNCTION}() { return {kBytes, sizeof kBytes}; }\n")
