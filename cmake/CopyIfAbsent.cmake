# cmake -DFROM=a -DTO=b -P CopyIfAbsent.cmake: copies a to b unless b is there already.
if(NOT EXISTS "${TO}")
  get_filename_component(dir "${TO}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${FROM}" "${TO}")
endif()
