# What ships and what a new user meets, each checked as its ecosystem checks it: the
# release made in two scratch clones is the same to the byte, the Debian package passes
# lintian and hardening-check and runs from a scratch root, the Windows zip holds what a
# Windows user needs, and the README's run command works on a minimal Debian. Slow, so
# labelled 'release': 'ctest -LE release' leaves them out.
find_program(MINGW_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
set(here ${CMAKE_CURRENT_LIST_DIR})
set(work ${CMAKE_BINARY_DIR}/release-check)
set(clone ${work}/a/vmtally)
set(other_clone ${work}/b/somewhere/else/vm)

add_test(NAME Release.InAClone COMMAND ${here}/release-in-clone.sh ${PROJECT_SOURCE_DIR} ${clone}
                                       022 UTC)
add_test(NAME Release.InAnotherClone COMMAND ${here}/release-in-clone.sh ${PROJECT_SOURCE_DIR}
                                             ${other_clone} 077 Asia/Tokyo)
set_tests_properties(Release.InAClone Release.InAnotherClone PROPERTIES FIXTURES_SETUP release)

add_test(NAME Release.Reproducible
         COMMAND ${here}/check-reproducible.sh ${clone}/dist ${other_clone}/dist)
add_test(NAME Release.DebianPackage
         COMMAND ${here}/check-debian-package.sh ${clone}/dist ${work}/debian-root
                 $<TARGET_FILE:vmtally>)
add_test(NAME Release.WindowsZip
         COMMAND ${CMAKE_COMMAND} -DZIP=${clone}/dist/vmtally-${PROJECT_VERSION}-win32.zip
                 -DSCRATCH=${work}/zip -DVERSION=${PROJECT_VERSION} -DOBJDUMP=${MINGW_OBJDUMP}
                 -P ${here}/check-zip.cmake)
set_tests_properties(Release.Reproducible Release.DebianPackage Release.WindowsZip
                     PROPERTIES FIXTURES_REQUIRED release)

add_test(NAME BareMachine.RunTwice
         COMMAND ${here}/bare-machine.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/bare-machine
                 $<TARGET_FILE:fixture_target> $<TARGET_FILE:vmtally>)

set_tests_properties(Release.InAClone Release.InAnotherClone Release.Reproducible
                     Release.DebianPackage Release.WindowsZip BareMachine.RunTwice
                     PROPERTIES LABELS release SKIP_RETURN_CODE 77 TIMEOUT 900)
