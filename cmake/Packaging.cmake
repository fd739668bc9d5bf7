# The Debian package: `cpack -G DEB` in the build folder (or the `package`
# target). dist/test-package.sh builds it in a scratch folder and lints it.

# The package's architecture is the host's unless a cross build names it,
# e.g. -DWW_DEB_ARCH=arm64.
set(WW_DEB_ARCH "" CACHE STRING "Debian architecture of the package (default: the host's)")
find_program(WW_DPKG dpkg)
set(ww_host_deb_arch "")
if(WW_DPKG)
  execute_process(COMMAND ${WW_DPKG} --print-architecture
                  OUTPUT_VARIABLE ww_host_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE ww_dpkg_result)
  if(NOT ww_dpkg_result EQUAL 0)
    set(ww_host_deb_arch "")
  endif()
endif()
if(WW_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${WW_DEB_ARCH})
elseif(ww_host_deb_arch)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ww_host_deb_arch})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wavewarden)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "wavewarden developers <wavewarden@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Wi-Fi access point beside the station interface")
# Lines as they appear in the control file: Debian wants them under 80
# columns and CPack does not wrap them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "wavewarden lets an embedded Linux Wi-Fi device be a client and an access"
  "point at once, on one radio."
  ""
  "The daemon, wavewarden, creates the access point interface beside the"
  "station, keeps it on a sensible band and channel relative to the station,"
  "and runs and supervises hostapd and dnsmasq for it. wavectl sends the"
  "daemon its requests and prints the replies; bandprobe prints what nl80211"
  "reports about one interface.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# The unit starts /usr/sbin/wavewarden.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The folders the package creates do not depend on the umask of whoever
# builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# What the daemon runs: hostapd, dnsmasq, iw, ip, ifconfig, firewall-cmd
# and killall (psmisc). The firewalld zone nm-shared that wlanap joins comes
# with network-manager where that is installed, else with this package (the
# maintainer scripts and dist/firewalld-zone).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "hostapd, dnsmasq-base, iw, iproute2, net-tools, psmisc, firewalld")
# The kernel's regulatory database, for the country the daemon adopts. Only
# suggested: NetworkManager, which would manage every Wi-Fi interface of a
# device whose station something else runs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wireless-regdb")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "network-manager")
# The shared libraries the programs link (the C++ runtime is linked in):
# dpkg-shlibdeps finds them and their minimum versions for a native package.
# It cannot see a cross build's libraries, so one names those of Debian 12.
if(NOT WW_DEB_ARCH OR WW_DEB_ARCH STREQUAL ww_host_deb_arch)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS
         "libc6 (>= 2.36), libnl-3-200 (>= 3.2.7), libnl-genl-3-200 (>= 3.2.7), "
         "libnl-route-3-200 (>= 3.2.7), ")
endif()

# Maintainer scripts: the firewalld zone is provided or withdrawn, the
# service is enabled and started at the first install, restarted on upgrades
# and stopped on removal; systemd and NetworkManager learn of the unit and the
# drop-in at once. The trigger calls the zone's check again whenever a
# package adds or removes a firewalld vendor zone.
set(ww_debian ${PROJECT_SOURCE_DIR}/dist/debian)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${ww_debian}/postinst;${ww_debian}/prerm;${ww_debian}/postrm;${ww_debian}/triggers")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
