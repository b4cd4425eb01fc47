# NDAR archive images through the lookup and the file loader.
nv_fuzz(fuzz_archive fuzz_archive.cpp)
