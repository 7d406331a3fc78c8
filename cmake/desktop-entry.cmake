# Writes the desktop entry for the prefix being installed into, at install time:
# the prefix is only known then (`cmake --install build --prefix ~/.local`, or /usr
# when CPack stages the package). Exec= and TryExec= carry the launcher's absolute
# path, so that the entry works before ~/.local/bin reaches PATH at the next login.
# Set by the install rule: VELMORA_DESKTOP_IN, VELMORA_DESKTOP_OUT, VELMORA_BINDIR
# (absolute, or relative to CMAKE_INSTALL_PREFIX).
if(IS_ABSOLUTE "${VELMORA_BINDIR}")
  set(launcher "${VELMORA_BINDIR}/velmora")
else()
  set(launcher "${CMAKE_INSTALL_PREFIX}/${VELMORA_BINDIR}/velmora")
endif()
cmake_path(NORMAL_PATH launcher)

# TryExec is a plain string value; only the backslash is escaped there.
string(REPLACE "\\" "\\\\" VELMORA_TRYEXEC "${launcher}")

# Exec is a command line: a path with characters outside the plain ones is
# quoted, with ", `, $ and \ escaped inside the quotes; then the string escape
# doubles each backslash, and a literal % is written %%.
if(launcher MATCHES "^[A-Za-z0-9/._+,@=:-]+$")
  set(exec "${launcher}")
else()
  set(exec "${launcher}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
  string(REPLACE "\\" "\\\\" exec "${exec}")
endif()
string(REPLACE "%" "%%" VELMORA_EXEC "${exec}")

configure_file("${VELMORA_DESKTOP_IN}" "${VELMORA_DESKTOP_OUT}" @ONLY)
