# The names the library exports are exactly the functions declared with
# TWSTORE_API in the public header (one declaration per line).
function(tw_exported_names header out_var)
  file(STRINGS ${header} lines REGEX "^TWSTORE_API ")
  set(names)
  foreach(line ${lines})
    if(line MATCHES "([A-Za-z_][A-Za-z_0-9]*)\\(")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(SORT names)
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
