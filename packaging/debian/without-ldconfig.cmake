# Run by CPack after it has built the package. CPack gives any package with a shared
# object under /usr/lib maintainer scripts that run ldconfig; this package's shared objects
# are plug-ins that the dynamic linker never looks up, so the package is rebuilt without
# those scripts (with dpkg-deb): nothing runs when it is installed, and apt-get remove
# leaves no trace (a postrm keeps a package in dpkg's list until it is purged).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${deb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
