/* Writes a small CMYK profile that samples a press profile's perceptual CMYK-to-Lab table on a
   5-point grid: the same corners (pure inks, paper, black) in a few kilobytes, for fixtures.
   cc small_cmyk_profile.c -llcms2 && ./a.out PRESS.icc OUT.icc */
#include <lcms2.h>
#include <stdio.h>

static int Sample(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  cmsDoTransform((cmsHTRANSFORM)cargo, in, out, 1);
  return TRUE;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  cmsHPROFILE press = cmsOpenProfileFromFile(argv[1], "r");
  cmsHPROFILE lab = cmsCreateLab4Profile(NULL);
  if (press == NULL || lab == NULL) return 1;
  cmsHTRANSFORM toLab = cmsCreateTransform(press, TYPE_CMYK_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
  if (toLab == NULL) return 1;
  cmsHPROFILE out = cmsCreateProfilePlaceholder(NULL);
  cmsSetProfileVersion(out, 4.3);
  cmsSetDeviceClass(out, cmsSigOutputClass);
  cmsSetColorSpace(out, cmsSigCmykData);
  cmsSetPCS(out, cmsSigLabData);
  cmsPipeline* pipeline = cmsPipelineAlloc(NULL, 4, 3);
  cmsStage* clut = cmsStageAllocCLut16bit(NULL, 5, 4, 3, NULL);
  if (!cmsStageSampleCLut16bit(clut, Sample, toLab, 0)) return 1;
  /* lcms2 writes a lutAtoB tag only with its curves around the table. */
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(NULL, 4, NULL));
  cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(NULL, 3, NULL));
  cmsWriteTag(out, cmsSigAToB0Tag, pipeline);
  cmsWriteTag(out, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsMLU* text = cmsMLUalloc(NULL, 1);
  cmsMLUsetASCII(text, "en", "US", "Tablora test press CMYK");
  cmsWriteTag(out, cmsSigProfileDescriptionTag, text);
  if (!cmsSaveProfileToFile(out, argv[2])) return 1;
  cmsMLUfree(text);
  cmsPipelineFree(pipeline);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(out);
  cmsCloseProfile(lab);
  cmsCloseProfile(press);
  return 0;
}
