# The version of everything the build makes: both editions' --version, the manual pages and
# the package. Every project here includes this file before its project() call, which takes
# the version from it.
set(NV_VERSION 1.0.0)
