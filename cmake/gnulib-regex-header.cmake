# Writes the regex.h that consumers include: the renaming defines of gnulib's
# config.h, then gnulib's regex.h by its full path.
file(STRINGS ${CONFIG_H} _lines REGEX "^#define (_REGEX_LARGE_OFFSETS|_REGEX_INCLUDE_LIMITS_H|re_[a-z_0-9]+|regcomp|regexec|regerror|regfree) ")
set(_text "/* Generated: GNU regex from gnulib for the MinGW build. */\n#ifndef KAVEL_GNU_REGEX_H\n#define KAVEL_GNU_REGEX_H\n")
foreach(_l IN LISTS _lines)
  string(APPEND _text "${_l}\n")
endforeach()
string(APPEND _text "#include \"${GNULIB_REGEX_H}\"\n#endif\n")
file(WRITE ${OUT} "${_text}")
