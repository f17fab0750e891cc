# Read by cpack before it packs anything: a package without its manual pages is no
# package to hand out, so packing stops when the build was configured without
# help2man instead of leaving them out unnoticed.
if(NOT CPACK_KESTRUM_MAN_PAGES)
    message(FATAL_ERROR
            "The package needs the manual pages, which help2man makes from the programs' "
            "--help, and help2man was not found when the build was configured. Install it "
            "(tools/install-deps.sh does), configure the build again and repeat.")
endif()
