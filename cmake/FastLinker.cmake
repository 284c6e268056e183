# lld links our programs in about a third of the time ld.bfd takes (gold in about half), which is
# most of a rebuild after a one-file change. The default linker stays when neither works.
include(CheckLinkerFlag)
foreach(linker lld gold)
  string(TOUPPER "${linker}" upper)
  check_linker_flag(CXX "-fuse-ld=${linker}" VELORA_LINKER_${upper})
  if(VELORA_LINKER_${upper})
    add_link_options("-fuse-ld=${linker}")
    break()
  endif()
endforeach()
