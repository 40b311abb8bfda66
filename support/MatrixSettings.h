#pragma once
namespace qv { extern bool MxSmallQuadrants; extern bool MxAlternateInversion; }
