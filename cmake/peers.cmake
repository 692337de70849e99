# The peer libraries of the field, for the native oracle tests and the benchmarks only: never linked into the
# product. One interface target carries them all.
add_library(stylesrv_peers INTERFACE)
find_package(OpenCASCADE REQUIRED CONFIG)
find_package(Eigen3 REQUIRED CONFIG)
find_package(GSL REQUIRED)
find_package(GEOS REQUIRED CONFIG)
find_library(SISL_LIBRARY NAMES sisl PATHS /usr/lib REQUIRED)
find_library(AGG_LIBRARY NAMES agg REQUIRED)
target_include_directories(stylesrv_peers SYSTEM INTERFACE ${OpenCASCADE_INCLUDE_DIR} /usr/include/agg2)
target_link_libraries(stylesrv_peers INTERFACE
  TKernel TKMath TKG2d TKG3d TKGeomBase TKGeomAlgo TKBRep TKTopAlgo TKOffset
  Eigen3::Eigen GSL::gsl ${SISL_LIBRARY} GEOS::geos ${AGG_LIBRARY})
# GEOS's C interface, through which the fill geometry is checked.
target_link_libraries(stylesrv_peers INTERFACE GEOS::geos_c)
# LAPACK through its C interface, for the singular value decomposition.
find_library(LAPACKE_LIBRARY NAMES lapacke REQUIRED)
find_library(LAPACK_LIBRARY NAMES lapack REQUIRED)
target_link_libraries(stylesrv_peers INTERFACE ${LAPACKE_LIBRARY} ${LAPACK_LIBRARY})
# Clipper's polygon offset, the integer-grid peer of the closed composite offsets.
find_library(POLYCLIPPING_LIBRARY NAMES polyclipping REQUIRED)
target_link_libraries(stylesrv_peers INTERFACE ${POLYCLIPPING_LIBRARY})
