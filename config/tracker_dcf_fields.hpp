#pragma once

#include "zok/tracker_dcf.hpp"

namespace wyr::zok {

// Hands every field of TrackerDcf::Params to `visitor` under its name, in the header's order:
// the one list of names that the configuration file, the Python keywords and the fuzz target
// read, so that a field added to Params is added here once and reaches all of them.
//
// `Params` is TrackerDcf::Params, const or not; `visitor` takes each field by reference through
// the member for its type: number(name, float&), number(name, double&), flag(name, bool&),
// integer(name, int&) or count(name, size_t&).
template <typename Params, typename Visitor>
void visitDcfFields(Params& params, Visitor&& visitor) {
    visitor.number("padding", params.padding);
    visitor.integer("gridCells", params.gridCells);
    visitor.number("labelSigma", params.labelSigma);
    visitor.number("learningRate", params.learningRate);
    visitor.integer("admmIterations", params.admmIterations);
    visitor.flag("colour", params.colour);
    visitor.number("colourWeight", params.colourWeight);
    visitor.number("colourLearningRate", params.colourLearningRate);
    visitor.flag("scaleFilter", params.scaleFilter);
    visitor.integer("scales", params.scales);
    visitor.number("scaleStep", params.scaleStep);
    visitor.number("scaleLearningRate", params.scaleLearningRate);
    visitor.flag("motionPrediction", params.motionPrediction);
    visitor.number("motionDamping", params.motionDamping);
    visitor.flag("redetection", params.redetection);
    visitor.number("lostConfidence", params.lostConfidence);
    visitor.number("learnConfidence", params.learnConfidence);
    visitor.number("redetectConfidence", params.redetectConfidence);
    visitor.integer("redetectFrames", params.redetectFrames);
    visitor.flag("cameraMotion", params.cameraMotion);
    visitor.number("minSharpness", params.minSharpness);
    visitor.number("stillPreference", params.stillPreference);
    visitor.flag("aspectFilter", params.aspectFilter);
    visitor.integer("aspects", params.aspects);
    visitor.number("aspectStep", params.aspectStep);
    visitor.number("aspectLimit", params.aspectLimit);
    visitor.number("aspectRate", params.aspectRate);
    visitor.flag("colourFeatures", params.colourFeatures);
    visitor.number("maxResponseVariation", params.maxResponseVariation);
    visitor.flag("motionSupport", params.motionSupport);
}

} // namespace wyr::zok
