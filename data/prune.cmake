# Removes packed catalogue files whose source no longer exists.
file(GLOB packed "${DATA_DIR}/*.vdb")
foreach(file ${packed})
    list(FIND KEEP "${file}" found)
    if(found EQUAL -1)
        file(REMOVE "${file}")
    endif()
endforeach()
