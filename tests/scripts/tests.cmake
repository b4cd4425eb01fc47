# The scripts as a newcomer meets them, and every shell script under ShellCheck. Neither needs
# the X server, so they run beside the others.
nv_script_test(scripts_usage scripts.sh LABELS scripts TIMEOUT 120)
nv_script_test(scripts_shellcheck shellcheck.sh LABELS scripts TIMEOUT 120)
set_tests_properties(scripts_usage scripts_shellcheck PROPERTIES RUN_SERIAL FALSE)
