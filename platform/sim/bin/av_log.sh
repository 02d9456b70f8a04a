#!/bin/sh
# av_log.sh: writes the media platform's status, one log per unit, into /tmp/media
# (MEDIA_LOG_DIR overrides the folder): acodec.log, adec.log, ..., vpss.log.
#
# On the camera each log is a copy of the media driver's status file
# /proc/umap/<unit>. The simulated board has no media driver: units without such a
# file get a fixed status text of a running camera (1920x1080 and 640x360 H.264
# streams, 896x512 snapshots and analysis path, 8 kHz mono audio), laid out like the
# driver's, with the section titles that `debug -M media` looks for. Prints nothing
# unless it refuses the folder.
dir=${MEDIA_LOG_DIR:-/tmp/media}
mkdir -p "$dir" || exit 1
# Only into a folder of our own that no one else may write to: a link or FIFO planted
# in one made by another user would take the logs elsewhere or hold the writer.
if [ -L "$dir" ] || [ ! -O "$dir" ] || [ -n "$(find "$dir" -maxdepth 0 -perm /022)" ]; then
  echo "av_log.sh: $dir is not our own folder closed to others: nothing written" >&2
  exit 1
fi

units="acodec adec aenc ai ao chnl h264e h265e isp ive jpege rc rgn sys vb vda venc vgs vi vo vpss"

sim_acodec() {
cat <<'T'
[ACODEC] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----ACODEC PARAM-----------------------------------------------------------------
 AdcHpf  MicGainL  MicGainR  DacVolL  DacVolR  SampleRate  BitWidth
      1        16        16      -12      -12        8000        16
T
}
sim_adec() {
cat <<'T'
[ADEC] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----ADEC CHN ATTR----------------------------------------------------------------
 ChnId  PlType  BufSize  Mode  SampleRate  PtNumPerFrm
     0    G711A      50  PACK        8000          320
T
}
sim_aenc() {
cat <<'T'
[AENC] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----AENC CHN ATTR----------------------------------------------------------------
 ChnId  PlType  BufSize  PtNumPerFrm  SampleRate  SendCnt  SendOkCnt
     0    G711A      30          320        8000     9184       9184
T
}
sim_ai() {
cat <<'T'
[AI] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----AI DEV ATTR------------------------------------------------------------------
 AiDev  WorkMode  SampleRate  BitWidth  SoundMode  PtNumPerFrm  ChnCnt
     0     I2S_M        8000        16       MONO          320       1
-----AI DEV STATUS----------------------------------------------------------------
 AiDev  Enable  GetFrmCnt  GetFrmOkCnt  BufFullCnt
     0       Y       9184         9184           0
-----AI CHN VQE STATUS0-----------------------------------------------------------
 AiChn  VqeEnable  WorkSampleRate  FrameSample  HpfEnable  AecEnable
     0          Y            8000          320          Y          N
-----AI CHN VQE STATUS1-----------------------------------------------------------
 AiChn  AnrEnable  NrMode  SpProSwitch  NoiseDbThr
     0          Y       0            0          39
-----AI CHN VQE STATUS2-----------------------------------------------------------
 AiChn  AgcEnable  TargetLevel  NoiseFloor  MaxGain
     0          Y           -2         -40       15
-----AI CHN VQE STATUS3-----------------------------------------------------------
 AiChn  EqEnable  100Hz  200Hz  250Hz  350Hz  500Hz  800Hz  1.2kHz  2.5kHz
     0         N      0      0      0      0      0      0       0       0
-----AI CHN VQE STATUS4-----------------------------------------------------------
 AiChn  HdrEnable  RnrEnable  DrcEnable  ProcTimeUs
     0          N          N          N         412
T
}
sim_ao() {
cat <<'T'
[AO] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----AO DEV ATTR------------------------------------------------------------------
 AoDev  WorkMode  SampleRate  BitWidth  SoundMode  PtNumPerFrm  ChnCnt
     0     I2S_M        8000        16       MONO          320       1
-----AO DEV STATUS----------------------------------------------------------------
 AoDev  Enable  SendFrmCnt  PlayFrmCnt  BufEmptyCnt
     0       Y         120         120            3
-----AO CHN VQE STATUS0-----------------------------------------------------------
 AoChn  VqeEnable  WorkSampleRate  FrameSample  HpfEnable
     0          Y            8000          320          Y
-----AO CHN VQE STATUS1-----------------------------------------------------------
 AoChn  AnrEnable  NrMode  NoiseDbThr
     0          N       0          39
-----AO CHN VQE STATUS2-----------------------------------------------------------
 AoChn  AgcEnable  TargetLevel  NoiseFloor  MaxGain
     0          Y           -2         -40       10
-----AO CHN VQE STATUS3-----------------------------------------------------------
 AoChn  EqEnable  100Hz  200Hz  250Hz  350Hz  500Hz  800Hz  1.2kHz  2.5kHz
     0         N      0      0      0      0      0      0       0       0
-----AO CHN VQE STATUS4-----------------------------------------------------------
 AoChn  ProcTimeUs
     0         188
T
}
sim_chnl() {
cat <<'T'
[CHNL] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VENC CHNL INFO---------------------------------------------------------------
 ID  Width  Height  Type  StrmBufSize  LeftPics  LeftStrmBytes  CurPacks
  0   1920    1080  H264      1048576         0           8192         1
  1    896     512  JPEG       262144         0              0         0
T
}
sim_h264e() {
cat <<'T'
[H264E] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----H264E CHN ATTR---------------------------------------------------------------
 ID  Profile  Width  Height  BufSize  ByFrame  GopMode  Gop  FrameRate
  0     main   1920    1080  1048576        Y   NORMAL   50         25
-----H264E STREAM STATE-----------------------------------------------------------
 ID  FrameCnt  IdrCnt  PFrameCnt  BitRateKbps
  0      9184     184       9000         2048
T
}
sim_h265e() {
cat <<'T'
[H265E] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----H265E CHN ATTR---------------------------------------------------------------
 ID  Profile  Width  Height  BufSize  ByFrame  GopMode  Gop  FrameRate
 (no H.265 channel created)
T
}
sim_isp() {
cat <<'T'
[ISP] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----MODULE PARAM-----------------------------------------------------------------
 ProcParam  StatIntvl  UpdatePos  IntTimeOut  PwmNumber
         30          1          0         200          0
-----ISP ATTR---------------------------------------------------------------------
 ViPipe  Width  Height  FrameRate  Bayer  WDRMode
      0   1920    1080      25.00   BGGR   LINEAR
-----ISP AE INFO------------------------------------------------------------------
 ViPipe  ExpTime  AGain  DGain  ISPDGain  ExpIsMax  Luma
      0    19998   1024   1024      1024         0    56
T
}
sim_ive() {
cat <<'T'
[IVE] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----IVE INVOKE INFO--------------------------------------------------------------
 Hw  Busy  TaskCnt  TimeoutCnt  LastTaskCostUs
  0     N    18368           0             820
T
}
sim_jpege() {
cat <<'T'
[JPEGE] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----JPEGE CHN ATTR---------------------------------------------------------------
 ID  Width  Height  BufSize  Qfactor  SnapCnt
  1    896     512   262144       80       12
T
}
sim_rc() {
cat <<'T'
[RC] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----RC ATTR----------------------------------------------------------------------
 ChnId  Gop  StatTm  SrcFr  DstFr  RcMode  BitRate  MaxQp  MinQp
     0   50       1     25     25     CBR     2048     51     10
     1   50       1     25     25     CBR      512     51     10
-----RUN INFO1--------------------------------------------------------------------
 ChnId  InsBr(kbps)  InsFr  QpI  QpP  StartQp  FrameBits
     0         2041  25.00   31   33       32      84512
     1          509  25.00   29   31       30      20864
 ChnId  MinIprop  MaxIprop  IprpQp  Weight
     0         1        20      34      6
-----RUN INFO2--------------------------------------------------------------------
 ChnId  WaterLine  TargetBits
     0          3      83886
     1          2      20971
T
}
sim_rgn() {
cat <<'T'
[RGN] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----RGN ATTR---------------------------------------------------------------------
 Handle  Type     Width  Height  PixFmt    BgAlpha  FgAlpha
      0  OVERLAY    480      32  ARGB1555        0      128
T
}
sim_sys() {
cat <<'T'
[SYS] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release], Build Time[Mar 12 2026, 10:21:33]

-----MEM TABLE--------------------------------------------------------------------
     PHY_ADDR     VIR_ADDR       SIZE   MOD   NAME
   0x92600000   0x00000000    5529600   vb    vb_pool0
   0x92b46000   0x00000000    2752512   vb    vb_pool1
-----SYSTEM STATUS----------------------------------------------------------------
System State: 0 (0: resume; 1: suspend)
T
}
sim_vb() {
cat <<'T'
[VB] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VB PUB CONFIG----------------------------------------------------------------
 MaxPoolCnt
         16
-----COMMON POOL CONFIG-----------------------------------------------------------
 PoolConfId  BlkSize   Count  RemapMode
          0  3110400       4       NONE
          1   688128       4       NONE
----------------------------------------------------------------------------------
PoolId    PhysAddr    VirtAddr    IsComm    Owner     BlkSz     BlkCnt    Free      MinFree
     0    0x92600000  0x0         1         -1        3110400   4         1         0
     1    0x92b46000  0x0         1         -1        688128    4         2         1
T
}
sim_vda() {
cat <<'T'
[VDA] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VDA CHN ATTR-----------------------------------------------------------------
 ChnId  Type  Width  Height  VdaAlg  MbSize  RecvPic
     0    MD    896     512     REF     8x8    18368
T
}
sim_venc() {
cat <<'T'
[VENC] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VENC CHN ATTR 1--------------------------------------------------------------
 ID  Width  Height  Type  ByFrame  Sequence  LeftBytes  LeftFrm  CurPacks
  0   1920    1080  H264        Y      9184          0        0         1
  1    640     360  H264        Y      9184          0        0         1
  2    896     512  JPEG        Y        12          0        0         0
  3    896     512  MJPEG       Y         0          0        0         0
-----VENC CHN ATTR 2--------------------------------------------------------------
 ID  VeStr  SrcFr  TarFr  Timeref  PixFmt    PicAddr
  0      Y     25     25    18368  YUV420SP  0x92600000
  1      Y     25     25    18368  YUV420SP  0x92b46000
  2      Y     25      1    18368  YUV420SP  0x92c00000
  3      N     25      0        0  YUV420SP  0x0
-----VENC STREAM STATE------------------------------------------------------------
 ID  FreeCnt  BusyCnt  UserCnt  UserGet  UserRls  GetTimes  Interval  FrameRate
  0        3        0        0     9184     9184      9184     40000      25.00
  1        3        0        0     9184     9184      9184     40000      25.00
  2        1        0        0       12       12        12         0       0.00
  3        0        0        0        0        0         0         0       0.00
T
}
sim_vgs() {
cat <<'T'
[VGS] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VGS JOB STATUS---------------------------------------------------------------
 BeginJobCnt  EndJobCnt  CancelJobCnt  TaskCnt  Busy
        9184       9184             0     9184     N
T
}
sim_vi() {
cat <<'T'
[VI] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VI DEV ATTR------------------------------------------------------------------
 Dev  IntfM  WkM  ComMsk0  ComMsk1  ScanM  AD0  AD1  AD2  AD3  Seq  DataType
   0   MIPI   1M  fff0000        0      P    0   -1   -1   -1  N/A   RGB
-----VI PHYCHN ATTR---------------------------------------------------------------
 PhyChn  Width  Height  PixFmt  CropX  CropY  SrcFr  DstFr
      0   1920    1080  RAW12       0      0     25     25
-----VI PHYCHN STATUS 1-----------------------------------------------------------
 PhyChn  Enable  IntCnt  RecvPic  LostInt  VbFail  PicW  PicH
      0       Y   18370    18368        0       0  1920  1080
-----VI PHYCHN STATUS 2-----------------------------------------------------------
 PhyChn  FrameRate  TopLost  BotLost  ViIntCnt
      0      25.00        0        0    18370
-----VI WDR ATTR------------------------------------------------------------------
 Dev  WDRMode  CacheLine
   0   LINEAR       1080
-----VI WDR DES STATUS------------------------------------------------------------
 Dev  DesIntCnt  DesErrCnt
   0          0          0
-----VI WDR SRC STATUS------------------------------------------------------------
 Dev  SrcIntCnt  SrcErrCnt
   0          0          0
-----VI WDR COMBINE STATUS--------------------------------------------------------
 Dev  CmbIntCnt  CmbErrCnt
   0          0          0
-----VI CHN STATUS----------------------------------------------------------------
 ViChn  Enable  FrameRate  IntCnt  RecvPic  LostFrame  VbFail  Width  Height
     0       Y         25   18370    18368          0       0   1920    1080
T
}
sim_vo() {
cat <<'T'
[VO] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VO DEV ATTR------------------------------------------------------------------
 (no video output device enabled)
T
}
sim_vpss() {
cat <<'T'
[VPSS] Version: [Hi3516EV200_MPP_V1.0.1.0 B030 Release]

-----VPSS GRP ATTR----------------------------------------------------------------
 GrpID  MaxW  MaxH  PixFmt    DrEn  DbEn  NrEn
     0  1920  1080  YUV420SP     N     N     Y
-----VPSS GRP WORK STATUS---------------------------------------------------------
 GrpID  RecvCnt  LostCnt  StartFail  CostTm  MaxCostTm
     0    18368        0          0    1630       2410
-----VPSS CHN OUTPUT RESOLUTION--------------------------------------------------
 GrpID  PhyChnID  Enable  Mode  Width  Height  SendOk  FrameRate
     0         0       Y  USER   1920    1080   18368         25
     0         1       Y  USER    896     512   18368         25
T
}

for unit in $units; do
  if [ -r "/proc/umap/$unit" ]; then
    cat "/proc/umap/$unit" > "$dir/$unit.log.tmp"
  else
    "sim_$unit" > "$dir/$unit.log.tmp"
  fi
  # Replace whole, so a reader never sees a half-written log.
  mv -f "$dir/$unit.log.tmp" "$dir/$unit.log"
done
