# Fails unless the settings library links nothing but the compile settings,
# and the compile settings link nothing at all.
foreach(var LINKED INTERFACE)
  string(REPLACE "|" ";" items "${${var}}")
  foreach(item IN LISTS items)
    if(NOT item STREQUAL "skyfault::compile_settings" AND NOT item STREQUAL "skyfault_compile_settings")
      message(FATAL_ERROR "skyfault_settings links ${item}: only the standard library is allowed")
    endif()
  endforeach()
endforeach()
if(NOT SETTINGS_INTERFACE STREQUAL "")
  message(FATAL_ERROR "skyfault::compile_settings links ${SETTINGS_INTERFACE}")
endif()
message(STATUS "skyfault_settings links only the standard library")
