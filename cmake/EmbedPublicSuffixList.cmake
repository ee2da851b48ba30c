# Writes the rules of a Public Suffix List file (comments and blank lines left
# out) into a C++ source as one string, a rule a line.
#   cmake -DIN=public_suffix_list.dat -DOUT=PublicSuffixRules.cpp -P EmbedPublicSuffixList.cmake
file(STRINGS "${IN}" lines ENCODING UTF-8)
set(rules "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^//")
    continue()
  endif()
  string(APPEND rules "${line}\n")
endforeach()
if(rules STREQUAL "")
  message(FATAL_ERROR "${IN} holds no rules")
endif()
file(WRITE "${OUT}.new" "// Made at build time from ${IN}.\n"
     "namespace pw {\nextern const char kPublicSuffixRules[];\n"
     "const char kPublicSuffixRules[] = R\"psl(${rules})psl\";\n}  // namespace pw\n")
file(RENAME "${OUT}.new" "${OUT}")
