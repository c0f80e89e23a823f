# Run by CPack after it has built the package; rebuilds it (with dpkg-deb) with two
# finishing touches that Debian's own packaging tools make and CPack does not:
# - no maintainer scripts: CPack gives any package with a shared object under /usr/lib
#   scripts that run ldconfig, but this package's shared objects are plug-ins that the
#   dynamic linker never looks up; without a postrm, apt-get remove leaves no trace (a
#   postrm keeps a package in dpkg's list until it is purged);
# - binaries without the compilers' .comment notes, as dh_strip leaves them;
# - no dependency on libobs0: only OBS Studio loads the ffgl-obs module, and OBS brings
#   its library (the package suggests obs-studio).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  file(READ "${tree}/DEBIAN/control" control)
  string(REGEX REPLACE ", libobs0 \\([^)]*\\)|libobs0 \\([^)]*\\), " "" control "${control}")
  file(WRITE "${tree}/DEBIAN/control" "${control}")
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
  list(SORT files)
  set(md5sums "")
  foreach(path IN LISTS files)
    file(READ "${tree}/${path}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      execute_process(COMMAND strip --remove-section=.comment "${tree}/${path}"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    file(MD5 "${tree}/${path}" sum)
    string(APPEND md5sums "${sum}  ${path}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${md5sums}")
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${deb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
