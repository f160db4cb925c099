# The picture layer, and libpng and expat to read back what it writes.
target_link_libraries(${test_target} PRIVATE quillon_pictures PNG::PNG EXPAT::EXPAT)
