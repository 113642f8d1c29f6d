<!DOCTYPE html>
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk">
<title>ICP备案查询</title>
</head>
<body>
<div class="icp">
<table class="icp-info">
<tr><td>主办单位性质</td><td>事业单位</td></tr>
<tr><td>网站备案/许可证号</td><td>沪ICP备79419959号-2</td></tr>
<tr><td>审核通过时间</td><td>2021-03-15</td></tr>
</table>
</div>
</body>
</html>
