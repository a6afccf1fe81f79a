// The ellip module: Carlson's symmetric elliptic integrals RF, RC, RD, RJ
// and the complete Legendre integrals K(m), E(m), each returning a value or
// one fixed error message (elliptic/result.hpp).
#pragma once

#include "elliptic/ellipe.hpp"
#include "elliptic/ellipk.hpp"
#include "elliptic/elliprc.hpp"
#include "elliptic/elliprd.hpp"
#include "elliptic/elliprf.hpp"
#include "elliptic/elliprj.hpp"
#include "elliptic/result.hpp"
