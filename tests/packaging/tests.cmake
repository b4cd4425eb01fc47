# The Debian package, unpacked and started as a user starts it.
nv_script_test(package package.sh LABELS e2e TIMEOUT 300)
set_tests_properties(package PROPERTIES SKIP_RETURN_CODE 77)
