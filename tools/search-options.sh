# Sourced by the run and bench scripts: the option string the program sends the engine.
# search_options <photo> <video> <audio>   (each 0 or 1; kinds in the program's order)
search_options() {
  local video="max mov riff asf flv dpx dv fcp ifo m2ts mkv mpg rm swf TiVo"
  local photo="tif dsc raf x3f orf rw2 crw mrw png gif bmp jpg ico psd heif"
  local audio="aif all als ape asf au caf riff flac gp5 ds2 dss flp it mid mp3 mus ogg ra rns ses sib wv xm wtv"
  local opts="fileopt,everything,disable," e
  [ "$2" = 1 ] && for e in $video; do opts+="$e,enable,"; done
  [ "$1" = 1 ] && for e in $photo; do opts+="$e,enable,"; done
  [ "$3" = 1 ] && for e in $audio; do opts+="$e,enable,"; done
  echo "${opts}search"
}
