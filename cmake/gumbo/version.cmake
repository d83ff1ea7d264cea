# Which gumbo the build uses: the npm package that carries its C sources, and that package's tarball checksum.
set(QUORVANE_GUMBO_VERSION 0.10.1)
set(QUORVANE_GUMBO_NPM_PACKAGE gumbo-parser@0.3.0)
set(QUORVANE_GUMBO_TARBALL gumbo-parser-0.3.0.tgz)
set(QUORVANE_GUMBO_TARBALL_SHA256 d47101b5182186c4646f7eba5107308dbf93392621ae8c12bd35a7d867c8e913)
