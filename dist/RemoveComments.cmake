# Run by cpack on its staging tree, after CPACK_STRIP_FILES has stripped the
# programs: removes the compiler's version notes (the .comment section), which strip
# keeps and no one needs at run time, as Debian's own packages do.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_KESTRUM_OBJCOPY}" --remove-section=.comment "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
