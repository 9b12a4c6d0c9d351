# Runs at install time (install(CODE) in CMakeLists.txt beside this file): the
# service's unit names the paths of the prefix actually installed to, a
# package's /usr or a `cmake --install --prefix`, not the configured one.
# Expects FOLVANE_UNIT_TEMPLATE, FOLVANE_CONF, FOLVANE_STAGE and the
# GNUInstallDirs folders FOLVANE_BINDIR and FOLVANE_SYSCONFDIR (relative or
# absolute) to be set.

set(prefix "${CMAKE_INSTALL_PREFIX}")
if(IS_ABSOLUTE "${FOLVANE_BINDIR}")
  set(BINDIR "${FOLVANE_BINDIR}")
else()
  set(BINDIR "${prefix}/${FOLVANE_BINDIR}")
endif()
# As GNUInstallDirs has it: the /usr prefix keeps its configuration in /etc.
if(IS_ABSOLUTE "${FOLVANE_SYSCONFDIR}")
  set(SYSCONFDIR "${FOLVANE_SYSCONFDIR}")
elseif(prefix STREQUAL "/usr" AND FOLVANE_SYSCONFDIR STREQUAL "etc")
  set(SYSCONFDIR "/etc")
else()
  set(SYSCONFDIR "${prefix}/${FOLVANE_SYSCONFDIR}")
endif()

configure_file("${FOLVANE_UNIT_TEMPLATE}" "${FOLVANE_STAGE}/folvane-server.service" @ONLY)
file(INSTALL "${FOLVANE_STAGE}/folvane-server.service" DESTINATION "${prefix}/lib/systemd/system")

# An administrator's edited configuration is never overwritten by a later
# install (a package marks it as a configuration file for dpkg instead).
if(EXISTS "$ENV{DESTDIR}${SYSCONFDIR}/folvane/server.conf")
  message(STATUS "Keeping: $ENV{DESTDIR}${SYSCONFDIR}/folvane/server.conf")
else()
  file(INSTALL "${FOLVANE_CONF}" DESTINATION "${SYSCONFDIR}/folvane")
endif()
