// Node table of the tanh-sinh (double-exponential) quadrature rule.
//
// GENERATED FILE, do not edit.  Written by scripts/gen_quadrature_table.py:
//     python scripts/gen_quadrature_table.py numerics/quadrature_table.hpp
// and checked against a fresh run by tests/python/test_quadrature_table.py.
//
// Pairs (w, x) with x = tanh((pi/2) sinh t), w = h (pi/2) cosh t / cosh^2((pi/2) sinh t);
// level 0 has h = 1 and t = 1, 2, 3; level l >= 1 has h = 2^-l and t the odd
// multiples of h below 3.  Each value is the correctly rounded double of the
// rule, evaluated with mpmath at 60 digits, written as an exact hex literal.
#pragma once

#include <array>
#include <cstddef>

namespace halomag::quadrature::double_exponential::table {

struct Node {
    double weight;
    double abscissa;
};

inline constexpr std::size_t LEVELS = 7;

// Level l occupies NODES[LEVEL_OFFSET[l]] .. NODES[LEVEL_OFFSET[l + 1] - 1].
inline constexpr std::array<std::size_t, 8> LEVEL_OFFSET = {0, 3, 6, 12, 24, 48, 96, 192};

inline constexpr std::array<Node, 192> NODES = {{
    // level 0: 3 pairs
    {0x1.d715fb2e4f1bcp-3, 0x1.e719b3a84f215p-1},  // t = 1
    {0x1.1721a8030e921p-12, 0x1.fffd0c428e715p-1},  // t = 2
    {0x1.7e4b11db90a01p-40, 0x1.ffffffffffe7dp-1},  // t = 3
    // level 1: 3 pairs
    {0x1.ee947b728e394p-2, 0x1.593a1cefaa0f8p-1},  // t = 1/2
    {0x1.2c88d194ea674p-7, 0x1.feba446b840d3p-1},  // t = 3/2
    {0x1.cc3b4b048a3b1p-24, 0x1.ffffffa071541p-1},  // t = 5/2
    // level 2: 6 pairs
    {0x1.63bdcaf901815p-2, 0x1.8243450496c8bp-2},  // t = 1/4
    {0x1.0fe97de128bdbp-3, 0x1.b8196f8774065p-1},  // t = 3/4
    {0x1.38e041e84722ap-6, 0x1.f95d615e68cd8p-1},  // t = 5/4
    {0x1.7c70559b49937p-11, 0x1.ffd723e064c1bp-1},  // t = 7/4
    {0x1.921b35fc363d2p-19, 0x1.ffffe550be6bcp-1},  // t = 9/4
    {0x1.3fb70d9c5c84bp-32, 0x1.ffffffff98549p-1},  // t = 11/4
    // level 3: 12 pairs
    {0x1.85f5ebfa10b92p-3, 0x1.8e0b0b683bb8cp-3},  // t = 1/8
    {0x1.3186caf901e08p-3, 0x1.140b0976c6624p-1},  // t = 3/8
    {0x1.799174231745ep-4, 0x1.8fabc73ae4f24p-1},  // t = 5/8
    {0x1.711ccc4f2eb22p-5, 0x1.d46b0e0705148p-1},  // t = 7/8
    {0x1.1970c313b0d53p-6, 0x1.f2abc90c9371cp-1},  // t = 9/8
    {0x1.40ebf0ed4ce33p-8, 0x1.fcf4d7e6c7fa9p-1},  // t = 11/8
    {0x1.fb6b4a3163556p-11, 0x1.ff857932b2e69p-1},  // t = 13/8
    {0x1.f20bb3a8a0696p-14, 0x1.fff41f7475501p-1},  // t = 15/8
    {0x1.0612231ac7148p-17, 0x1.ffff62d519b74p-1},  // t = 17/8
    {0x1.ea40955e09cf9p-23, 0x1.fffffc670045bp-1},  // t = 19/8
    {0x1.410b895d92343p-29, 0x1.fffffff8a2c9ep-1},  // t = 21/8
    {0x1.b256959c5ec40p-38, 0x1.fffffffffc1cdp-1},  // t = 23/8
    // level 4: 24 pairs
    {0x1.8f0bc547e44f3p-4, 0x1.9118a2ccef98ep-4},  // t = 1/16
    {0x1.774cb8b236abap-4, 0x1.26c9ff4137f4bp-2},  // t = 3/16
    {0x1.4c275eeb6da7ap-4, 0x1.d852d95989d9cp-2},  // t = 5/16
    {0x1.14e607c8e3a85p-4, 0x1.3875c9f126ae7p-1},  // t = 7/16
    {0x1.b349db4cdb2e1p-5, 0x1.7647fef070c39p-1},  // t = 9/16
    {0x1.42c4763d86ac6p-5, 0x1.a589ce79c8035p-1},  // t = 11/16
    {0x1.c369c9b324ed7p-6, 0x1.c79fd88fe6614p-1},  // t = 13/16
    {0x1.2934da4676981p-6, 0x1.decd67671ccb7p-1},  // t = 15/16
    {0x1.6f41a32b1ebaap-7, 0x1.eda01c0e08264p-1},  // t = 17/16
    {0x1.a7a8797be799cp-8, 0x1.f6813f3e2937bp-1},  // t = 19/16
    {0x1.c4eedeef54d68p-9, 0x1.fb74ff45709b6p-1},  // t = 21/16
    {0x1.bc8e30889cfc0p-10, 0x1.fe01f47aa1f2bp-1},  // t = 23/16
    {0x1.8bf41c4a01973p-11, 0x1.ff3563da6bf06p-1},  // t = 25/16
    {0x1.3ba4130415d70p-12, 0x1.ffb81931adf95p-1},  // t = 27/16
    {0x1.bb40a2183f69cp-14, 0x1.ffe99038cd6a3p-1},  // t = 29/16
    {0x1.0d2a8d7987430p-15, 0x1.fff9f42af49eep-1},  // t = 31/16
    {0x1.14ef0f95f4bebp-17, 0x1.fffe9f1331fc0p-1},  // t = 33/16
    {0x1.d79c3c898a275p-20, 0x1.ffffbd775e0e9p-1},  // t = 35/16
    {0x1.43b6d903afef9p-22, 0x1.fffff5e5853d4p-1},  // t = 37/16
    {0x1.5bc59bdd3a450p-25, 0x1.fffffeccd0e84p-1},  // t = 39/16
    {0x1.1ac28d334e711p-28, 0x1.ffffffe466f9ep-1},  // t = 41/16
    {0x1.4f139b3e5076ap-32, 0x1.fffffffe319e2p-1},  // t = 43/16
    {0x1.1541b59d44771p-36, 0x1.ffffffffeae04p-1},  // t = 45/16
    {0x1.3141d7cd38d0ep-41, 0x1.ffffffffff5bbp-1},  // t = 47/16
    // level 5: 48 pairs
    {0x1.915a1fb6bd973p-5, 0x1.91ddd1e7f7700p-5},  // t = 1/32
    {0x1.8b3bcaf6e45b3p-5, 0x1.2bdd313098338p-3},  // t = 3/32
    {0x1.7f4a37bc8701ap-5, 0x1.eeba5291e0715p-3},  // t = 5/32
    {0x1.6e15070d2eec1p-5, 0x1.55233eed1af78p-2},  // t = 7/32
    {0x1.5864326e1205fp-5, 0x1.ae07ed1f4eeefp-2},  // t = 9/32
    {0x1.3f27cf71e3b26p-5, 0x1.0084d3b47c07bp-1},  // t = 11/32
    {0x1.2365cf4b3eebbp-5, 0x1.26b302a6b9c04p-1},  // t = 13/32
    {0x1.0627cf0959887p-5, 0x1.494e76d2c7076p-1},  // t = 15/32
    {0x1.d0d590e45dba0p-6, 0x1.6837b4ce6a4b7p-1},  // t = 17/32
    {0x1.9623e843a131ap-6, 0x1.836d624d541cdp-1},  // t = 19/32
    {0x1.5dbb281540700p-6, 0x1.9b086fc6ada99p-1},  // t = 21/32
    {0x1.28cb917df0509p-6, 0x1.af375c6e46cb1p-1},  // t = 23/32
    {0x1.f0646cd0f47d5p-7, 0x1.c03911852aae5p-1},  // t = 25/32
    {0x1.98f8504d7f5a6p-7, 0x1.ce57c1bfe8ac8p-1},  // t = 27/32
    {0x1.4bdc4b1358356p-7, 0x1.d9e421cb0e60ep-1},  // t = 29/32
    {0x1.091e4c3dfb6c0p-7, 0x1.e33134b463678p-1},  // t = 31/32
    {0x1.a0d130b864041p-8, 0x1.ea90ce0551dbfp-1},  // t = 33/32
    {0x1.42343d96274f2p-8, 0x1.f050d61f3ec90p-1},  // t = 35/32
    {0x1.e9761e1710d5ep-9, 0x1.f4b94d14c8ab2p-1},  // t = 37/32
    {0x1.6cf769d02c256p-9, 0x1.f80afce83eb87p-1},  // t = 39/32
    {0x1.0ae08753f057fp-9, 0x1.fa7ec5364d88ep-1},  // t = 41/32
    {0x1.7e4e536b78c00p-10, 0x1.fc4566fa4992ap-1},  // t = 43/32
    {0x1.0bde3675ce47cp-10, 0x1.fd87b64c3363fp-1},  // t = 45/32
    {0x1.6eaa4e147d505p-11, 0x1.fe6718d8c5f85p-1},  // t = 47/32
    {0x1.e97ba49af42a4p-12, 0x1.fefe39b795ca1p-1},  // t = 49/32
    {0x1.3e16183f71339p-12, 0x1.ff61ddba8a0c6p-1},  // t = 51/32
    {0x1.91bcf7272e041p-13, 0x1.ffa1c61e6de1ap-1},  // t = 53/32
    {0x1.ec13c2568d2a9p-14, 0x1.ffc99288ae20ap-1},  // t = 55/32
    {0x1.23a562e912b80p-14, 0x1.ffe1966b377c6p-1},  // t = 57/32
    {0x1.4dcb9784b71d8p-15, 0x1.ffef992af42f8p-1},  // t = 59/32
    {0x1.6ff9fd547afecp-16, 0x1.fff77ba1681bdp-1},  // t = 61/32
    {0x1.85b895607bd04p-17, 0x1.fffbc09a92c44p-1},  // t = 63/32
    {0x1.8b72c1e3a402ep-18, 0x1.fffdf892f9186p-1},  // t = 65/32
    {0x1.7f5224a030fd1p-19, 0x1.ffff1308d28c5p-1},  // t = 67/32
    {0x1.61dbb290b8534p-20, 0x1.ffff9911f06eap-1},  // t = 69/32
    {0x1.3612c8f498c09p-21, 0x1.ffffd591c939dp-1},  // t = 71/32
    {0x1.0103416d673fep-22, 0x1.ffffef75361ccp-1},  // t = 73/32
    {0x1.9188b59e0c716p-24, 0x1.fffff9ec4f101p-1},  // t = 75/32
    {0x1.267142d291da2p-25, 0x1.fffffde797f75p-1},  // t = 77/32
    {0x1.93ad7b322aad4p-27, 0x1.ffffff531f908p-1},  // t = 79/32
    {0x1.018926c3de101p-28, 0x1.ffffffcc26fdap-1},  // t = 81/32
    {0x1.3061e6287c4afp-30, 0x1.fffffff19908bp-1},  // t = 83/32
    {0x1.4b915204b2077p-32, 0x1.fffffffc50270p-1},  // t = 85/32
    {0x1.4b1d64364cf74p-34, 0x1.ffffffff22826p-1},  // t = 87/32
    {0x1.2d6c0dbd52edfp-36, 0x1.ffffffffd09f7p-1},  // t = 89/32
    {0x1.f13edddb231ebp-39, 0x1.fffffffff6d17p-1},  // t = 91/32
    {0x1.713f9027bf962p-41, 0x1.fffffffffe65ep-1},  // t = 93/32
    {0x1.ea5b4f5c9d1bdp-44, 0x1.ffffffffffc00p-1},  // t = 95/32
    // level 6: 96 pairs
    {0x1.91ee464119f09p-6, 0x1.920f3a804cd82p-6},  // t = 1/64
    {0x1.9063b4eb73360p-6, 0x1.2d28adea867f2p-4},  // t = 3/64
    {0x1.8d535b4623a13p-6, 0x1.f4a686279775dp-4},  // t = 5/64
    {0x1.88c6b02039076p-6, 0x1.5d1e4ff32b595p-3},  // t = 7/64
    {0x1.82cba28d7c24cp-6, 0x1.be980ff8095f8p-3},  // t = 9/64
    {0x1.7b744bf92231cp-6, 0x1.0f338c39bae7bp-2},  // t = 11/64
    {0x1.72d68c7e7e76bp-6, 0x1.3e1b8017acb09p-2},  // t = 13/64
    {0x1.690b94e4d50a0p-6, 0x1.6bdca158fc7ebp-2},  // t = 15/64
    {0x1.5e2f621f8629ep-6, 0x1.9853020d9aacbp-2},  // t = 17/64
    {0x1.52602e88ec8e2p-6, 0x1.c35e594111fa9p-2},  // t = 19/64
    {0x1.45bddd3296a87p-6, 0x1.ece2416661b3ap-2},  // t = 21/64
    {0x1.3869639a0d3e1p-6, 0x1.0a6332046fd54p-1},  // t = 23/64
    {0x1.2a8435d9e23cdp-6, 0x1.1d7b49687cb31p-1},  // t = 25/64
    {0x1.1c2fb911442b0p-6, 0x1.2fb167349398cp-1},  // t = 27/64
    {0x1.0d8cbf406bf9dp-6, 0x1.40ff9e1f99687p-1},  // t = 29/64
    {0x1.fd761e8d0fdcbp-7, 0x1.5162063e68ae5p-1},  // t = 31/64
    {0x1.dfb1f61e6daa2p-7, 0x1.60d6a8ef28cecp-1},  // t = 33/64
    {0x1.c2060ab5c88bap-7, 0x1.6f5d66a2db5b8p-1},  // t = 35/64
    {0x1.a4a72fdc83550p-7, 0x1.7cf7d785fe285p-1},  // t = 37/64
    {0x1.87c594c0c7c50p-7, 0x1.89a928112d19cp-1},  // t = 39/64
    {0x1.6b8c727404c28p-7, 0x1.9575f289e70c9p-1},  // t = 41/64
    {0x1.5021d94d611afp-7, 0x1.a0641673182d4p-1},  // t = 43/64
    {0x1.35a69b39c72bep-7, 0x1.aa7a8ede1bbf4p-1},  // t = 45/64
    {0x1.1c365037f2945p-7, 0x1.b3c14878e9af0p-1},  // t = 47/64
    {0x1.03e771df9ea4cp-7, 0x1.bc40f81e7ddc0p-1},  // t = 49/64
    {0x1.d99715397282ap-8, 0x1.c402f2948d00fp-1},  // t = 51/64
    {0x1.addeea6be52c0p-8, 0x1.cb110606854d3p-1},  // t = 53/64
    {0x1.84b75287949c5p-8, 0x1.d17555b2b7b17p-1},  // t = 55/64
    {0x1.5e2922c8edfe5p-8, 0x1.d73a38243ddeap-1},  // t = 57/64
    {0x1.3a35d0677200fp-8, 0x1.dc6a183b73aafp-1},  // t = 59/64
    {0x1.18d832ac2b9c2p-8, 0x1.e10f59302d78bp-1},  // t = 61/64
    {0x1.f40a90df55c6cp-9, 0x1.e5343da49095cp-1},  // t = 63/64
    {0x1.bb59f9d31ec71p-9, 0x1.e8e2d1cdc6e15p-1},  // t = 65/64
    {0x1.8775d0c9c8264p-9, 0x1.ec24d8a8c2cb0p-1},  // t = 67/64
    {0x1.582e141ee881bp-9, 0x1.ef03bc24de8b7p-1},  // t = 69/64
    {0x1.2d4cf16464c54p-9, 0x1.f18880242e394p-1},  // t = 71/64
    {0x1.069811552ec68p-9, 0x1.f3bbb829ad789p-1},  // t = 73/64
    {0x1.c7a397da9ea43p-10, 0x1.f5a57f87ca320p-1},  // t = 75/64
    {0x1.8974863913d46p-10, 0x1.f74d73ddec07cp-1},  // t = 77/64
    {0x1.5220c6731ca12p-10, 0x1.f8bab1b138f26p-1},  // t = 79/64
    {0x1.212591d980713p-10, 0x1.f9f3d2ebb97b1p-1},  // t = 81/64
    {0x1.ec0232f7ac6f6p-11, 0x1.fafeef0ce5ebap-1},  // t = 83/64
    {0x1.a067d32cf688dp-11, 0x1.fbe19cd75b640p-1},  // t = 85/64
    {0x1.5e8435d614ef8p-11, 0x1.fca0f548cd55fp-1},  // t = 87/64
    {0x1.2568a80743c8bp-11, 0x1.fd4197ab169acp-1},  // t = 89/64
    {0x1.e86272b9c21e5p-12, 0x1.fdc7ae8f76316p-1},  // t = 91/64
    {0x1.940c18e00ae8ap-12, 0x1.fe36f5876f143p-1},  // t = 93/64
    {0x1.4c38ac5679227p-12, 0x1.fe92bf715f6f6p-1},  // t = 95/64
    {0x1.0f6e234a5b302p-12, 0x1.feddfd31a636dp-1},  // t = 97/64
    {0x1.b89db97b69e47p-13, 0x1.ff1b44b40f550p-1},  // t = 99/64
    {0x1.6333fbd06de72p-13, 0x1.ff4cd81439f78p-1},  // t = 101/64
    {0x1.1c56b9e49699ap-13, 0x1.ff74accebf0d3p-1},  // t = 103/64
    {0x1.c3ec1737a4859p-14, 0x1.ff9472e005724p-1},  // t = 105/64
    {0x1.647198c1cbce8p-14, 0x1.ffad9bb8ea823p-1},  // t = 107/64
    {0x1.16f4b76c17c50p-14, 0x1.ffc160f4ac664p-1},  // t = 109/64
    {0x1.b11f8357162bbp-15, 0x1.ffd0cabed10dfp-1},  // t = 111/64
    {0x1.4d74ae8a734d6p-15, 0x1.ffdcb5db10c4fp-1},  // t = 113/64
    {0x1.fd0a649bb4795p-16, 0x1.ffe5d9448b28bp-1},  // t = 115/64
    {0x1.8117e2888246fp-16, 0x1.ffeccb5cb4802p-1},  // t = 117/64
    {0x1.20a752958d84ap-16, 0x1.fff206a56acd2p-1},  // t = 119/64
    {0x1.aca07f52ac98dp-17, 0x1.fff5ee046f961p-1},  // t = 121/64
    {0x1.3b1e3505c20fcp-17, 0x1.fff8d0911056fp-1},  // t = 123/64
    {0x1.caa45083a3eeep-18, 0x1.fffaecef08223p-1},  // t = 125/64
    {0x1.4a45ad56cdc1ap-18, 0x1.fffc743b8ff0ap-1},  // t = 127/64
    {0x1.d6842bc7737a7p-19, 0x1.fffd8c9322257p-1},  // t = 129/64
    {0x1.4b6892ff5040fp-19, 0x1.fffe5337a5f18p-1},  // t = 131/64
    {0x1.cd76498335739p-20, 0x1.fffede5f892ddp-1},  // t = 133/64
    {0x1.3d7112921e1b8p-20, 0x1.ffff3eb6c72b2p-1},  // t = 135/64
    {0x1.af5ad32e40df7p-21, 0x1.ffff809b00201p-1},  // t = 137/64
    {0x1.2157461eab285p-21, 0x1.ffffad1ba14c3p-1},  // t = 139/64
    {0x1.7f0f3358fef31p-22, 0x1.ffffcac6bd6c8p-1},  // t = 141/64
    {0x1.f43f290fd291bp-23, 0x1.ffffde4aa4bebp-1},  // t = 143/64
    {0x1.420fdc197fd6cp-23, 0x1.ffffeaf398d7bp-1},  // t = 145/64
    {0x1.98afdb91d0cc1p-24, 0x1.fffff30c2fd85p-1},  // t = 147/64
    {0x1.fedbfa8a61c05p-25, 0x1.fffff82627ddep-1},  // t = 149/64
    {0x1.3a5c3c59a2da6p-25, 0x1.fffffb50990dcp-1},  // t = 151/64
    {0x1.7cb94b9ba5333p-26, 0x1.fffffd3faaa30p-1},  // t = 153/64
    {0x1.c583d8c38c7f6p-27, 0x1.fffffe69341e3p-1},  // t = 155/64
    {0x1.0986f453712f1p-27, 0x1.ffffff190b617p-1},  // t = 157/64
    {0x1.317a8dff9abd0p-28, 0x1.ffffff7f2d6a8p-1},  // t = 159/64
    {0x1.59166e53125fbp-29, 0x1.ffffffb97239dp-1},  // t = 161/64
    {0x1.7e8f08df684eep-30, 0x1.ffffffda14b4ap-1},  // t = 163/64
    {0x1.9feecba89b5a9p-31, 0x1.ffffffec0364cp-1},  // t = 165/64
    {0x1.bb3bb37759d37p-32, 0x1.fffffff5acbcep-1},  // t = 167/64
    {0x1.cea4464748fffp-33, 0x1.fffffffac680dp-1},  // t = 169/64
    {0x1.d8af2ad3b5090p-34, 0x1.fffffffd698ddp-1},  // t = 171/64
    {0x1.d867383ed5a82p-35, 0x1.fffffffebf10ep-1},  // t = 173/64
    {0x1.cd7d5d56903b4p-36, 0x1.ffffffff6805ap-1},  // t = 175/64
    {0x1.b85a6cc348c9bp-37, 0x1.ffffffffb9b45p-1},  // t = 177/64
    {0x1.9a1cc39dc1abbp-38, 0x1.ffffffffe043fp-1},  // t = 179/64
    {0x1.7480ab73c60ddp-39, 0x1.fffffffff2073p-1},  // t = 181/64
    {0x1.49b5c933aa3fdp-40, 0x1.fffffffffa017p-1},  // t = 183/64
    {0x1.1c272fcff3456p-41, 0x1.fffffffffd7efp-1},  // t = 185/64
    {0x1.dc7c1cb9e17a9p-43, 0x1.fffffffffefb8p-1},  // t = 187/64
    {0x1.844fb82c8bc3fp-44, 0x1.ffffffffff991p-1},  // t = 189/64
    {0x1.3350335432dbfp-45, 0x1.ffffffffffd88p-1},  // t = 191/64
}};

}  // namespace halomag::quadrature::double_exponential::table
