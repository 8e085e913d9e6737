# Run by CPack after it built the packages: puts right what CPack's Debian
# debug-symbols package gets wrong. Its md5sums name the files by the build
# folder's absolute path (so dpkg cannot check them), and it lacks the
# usr/share/doc/<name>-dbgsym -> <name> link that Debian's own dbgsym
# packages carry for their copyright and changelog. The split files are
# data, not programs: mode 0644.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  get_filename_component(name "${package}" NAME)
  string(REGEX REPLACE "-dbgsym_.*" "" main "${name}")
  set(root "${package}.tree")
  file(REMOVE_RECURSE "${root}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${root}" COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/usr/*")
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    file(CHMOD "${root}/${file}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(MD5 "${root}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${root}/DEBIAN/md5sums" "${sums}")
  file(MAKE_DIRECTORY "${root}/usr/share/doc")
  file(CREATE_LINK "${main}" "${root}/usr/share/doc/${main}-dbgsym" SYMBOLIC)

  execute_process(COMMAND dpkg-deb --root-owner-group -b "${root}" "${package}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${root}")
endforeach()
