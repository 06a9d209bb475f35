# Read by ctest after the discovered tests: the tests of the player keying a
# real rigctld carry both labels (ctest -L rigctld, -LE pulseaudio).
if(pulse_rigctld_tests)
    set_tests_properties(${pulse_rigctld_tests} PROPERTIES LABELS "pulseaudio;rigctld")
endif()
